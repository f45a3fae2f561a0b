#pragma once
// The fork servers (fork_server/fork_server.h) of a run's rustfmt: one per
// argument list and rustup toolchain choice (driver/toolchain_choice.h),
// started when a text first needs it, so that a run whose files the result
// cache all knows starts none. A server is started in the folder of the
// file that needs it, so that the rustup proxy picks the toolchain a plain
// start there gets, by a thread of its own that outlives every use: a
// server dies with the thread that started it. A server that is not ready
// in time or breaks is given up, and the runs it would have served start
// afresh.

#include <atomic>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/rustfmt_counts.h"
#include "driver/toolchain_choice.h"
#include "fork_server/fork_server.h"
#include "util/program_path.h"
#include "util/task_thread.h"

namespace tersify::driver {

// Part of the file name of the library that every real rustfmt loads: what
// tells the fork server that it runs in rustfmt and not in a proxy.
inline constexpr std::string_view rustfmt_library = "librustc_driver";

class RustfmtServers {
 public:
  class Server {
   public:
    ForkServer& get() { return *server_; }

   private:
    friend class RustfmtServers;
    std::shared_future<void> started_;  // ready once `server_` is set, if it could start
    std::optional<ForkServer> server_;  // none when it could not start
    std::atomic<bool> given_up_{false};
  };

  RustfmtServers(Program rustfmt, ToolchainChoices& toolchains, RustfmtCounts& counts);
  RustfmtServers(const RustfmtServers&) = delete;
  RustfmtServers& operator=(const RustfmtServers&) = delete;
  ~RustfmtServers();

  // The ready server for rustfmt with `args` in `folder`, started if there
  // is none yet; none when it could not start or was given up (now or
  // before). Thread-safe.
  Server* ready_server(const std::vector<std::string>& args, const std::string& folder);

  // Gives up a server that could not take or finish a run. Thread-safe.
  void give_up(Server& server);

 private:
  struct Key {
    std::vector<std::string> args;
    std::string toolchain;
    auto operator<=>(const Key&) const = default;
  };

  Program rustfmt_;
  RustfmtCounts& counts_;
  ToolchainChoices& toolchains_;
  std::mutex mutex_;
  TaskThread starter_;  // outlives the servers
  std::map<Key, std::unique_ptr<Server>> servers_;
};

}  // namespace tersify::driver
