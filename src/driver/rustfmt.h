#pragma once
// Formatting one source text with the outside program rustfmt: started
// afresh for every text, or run through a fork server
// (fork_server/fork_server.h) that gives the same result without the
// start's cost.

#include <atomic>
#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "driver/environment.h"
#include "driver/file_settings.h"
#include "driver/formatter.h"
#include "driver/rustfmt_batch.h"
#include "driver/toolchain_choice.h"
#include "fork_server/fork_server.h"
#include "util/result.h"
#include "util/task_thread.h"

namespace tersify::driver {

// Part of the file name of the library that every real rustfmt loads: what
// tells the fork server that it runs in rustfmt and not in a proxy.
inline constexpr std::string_view rustfmt_library = "librustc_driver";

// Runs `rustfmt <rustfmt_args>` on `source` and gives its standard output
// (invalid UTF-8 replaced by U+FFFD). Fails with "failed to run rustfmt: {}"
// when it can't be started, with rustfmt_failure_message
// (driver/rustfmt_message.h) when it ends unsuccessfully, with "rustfmt
// printed nothing for a non-empty file" when it succeeds without output for
// a `source` that holds more than whitespace, and with the I/O error text
// when feeding or collecting it fails. With `cancel_fd` (-1: none), stops
// early once that descriptor is readable, failing with "cancelled"; the
// child is then killed.
Result<std::string> run_rustfmt(const Program& rustfmt, std::string_view source, const FileSettings& settings,
                                int cancel_fd = -1);

// How a run's rustfmt runs were made.
struct RustfmtCounts {
  std::uint64_t plain = 0;            // started afresh
  std::uint64_t served = 0;           // forked by a server
  std::uint64_t servers = 0;          // servers started
  std::uint64_t servers_dropped = 0;  // servers given up during the run (never ready, or broken)
  std::uint64_t batches = 0;          // of the runs above, those over several files (driver/rustfmt_batch.h)
  std::uint64_t batch_misses = 0;     // texts that a batch gave no result for
};

// What a server is for: rustfmt's arguments, and what the rustup proxy
// picks the toolchain by (driver/toolchain_choice.h).
struct ServerKey {
  std::vector<std::string> args;
  std::string toolchain;
  auto operator<=>(const ServerKey&) const = default;
};

// The rustfmt runs of one tool run. With the fork server on, and rustfmt on
// PATH an ELF executable, there is one server per argument list and
// toolchain choice, started when a text first needs it (a run whose files
// the result cache all knows starts none); runs go into their file's
// folder. A server that is not ready in time or breaks is given up, and the
// runs it would have served start afresh, so every result is exactly a
// plain start's. Servers are started by a thread of their own, which lives
// as long as this object: a server dies with the thread that started it.
//
// With batches on, and rustfmt on PATH an ELF executable, texts are
// formatted in batches (driver/rustfmt_batch.h), a text on its own as a
// batch of one, and the servers are batch servers. A text that a batch gives no result for
// (a failure, a file rustfmt passes over) is formatted by a plain start.
class Rustfmt : public Formatter {
 public:
  explicit Rustfmt(const Environment& environment);
  Rustfmt(const Rustfmt&) = delete;
  Rustfmt& operator=(const Rustfmt&) = delete;
  ~Rustfmt() override;

  // rustfmt on `source`, as run_rustfmt gives it. Thread-safe.
  Result<std::string> format(std::string_view source, const FileSettings& settings, int cancel_fd) override;

  // Batches of the texts with equal rustfmt runs, when batches are on.
  std::vector<std::optional<std::string>> format_together(std::span<const FormatRequest> requests,
                                                          int cancel_fd) override;

  RustfmtCounts counts() const;

  // Whether texts may be formatted in batches (format_together).
  bool batches() const { return batches_ && elf_ && !no_scratch_folder_; }

 private:
  struct Server {
    std::shared_future<void> started;  // ready once `server` is set, if it could start
    std::optional<ForkServer> server;  // none when it could not start
    std::atomic<bool> given_up{false};
  };
  ServerKey server_key(const FileSettings& settings);
  // The settings' server once it is ready, started if there is none yet;
  // none without servers, or when it could not start or was given up (now
  // or before).
  Server* ready_server_for(const FileSettings& settings);
  void give_up(Server& server);
  // One batch (at most batch_slots texts of equal settings), served when
  // the server can, else started afresh.
  std::vector<std::optional<std::string>> run_one_batch(std::span<const std::string_view> texts,
                                                        const FileSettings& settings, int cancel_fd);
  void note_unusable_folder(const BatchResult& batch);

  bool fork_server_;
  bool batches_;
  Program rustfmt_;
  std::string temp_folder_;  // where batches' scratch folders go
  // Whether rustfmt on PATH is an ELF executable: a script (a wrapper, a
  // stand-in) is neither made a server nor given files instead of its
  // standard input.
  bool elf_;
  const std::string token_;  // in the names of batch files
  // Set once batch files could not be written ($TMPDIR full or read-only):
  // texts are formatted one at a time from then on.
  std::atomic<bool> no_scratch_folder_{false};
  mutable std::mutex mutex_;
  ToolchainChoices toolchains_;
  TaskThread server_starter_;  // outlives the servers
  std::map<ServerKey, std::unique_ptr<Server>> servers_;
  std::atomic<std::uint64_t> plain_{0};
  std::atomic<std::uint64_t> served_{0};
  std::atomic<std::uint64_t> dropped_{0};
  std::atomic<std::uint64_t> batch_runs_{0};
  std::atomic<std::uint64_t> batch_misses_{0};
};

}  // namespace tersify::driver
