#pragma once
// Formatting one source text with the outside program rustfmt: started
// afresh for every text, or run through a fork server (util/fork_server.h)
// that gives the same result without the start's cost.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/fork_server.h"
#include "util/result.h"

namespace tersify::driver {

// The --config value: the width, small heuristics at Max, and formatting
// switched back on over the "disable_all_formatting = true" that the
// project's rustfmt.toml holds.
std::string rustfmt_config(std::uint64_t max_width);

// rustfmt's arguments for one file: the edition, standard output, and the
// --config value above.
std::vector<std::string> rustfmt_args(const std::string& edition, std::uint64_t max_width);

// Part of the file name of the library that every real rustfmt loads: what
// tells the fork server that it runs in rustfmt and not in a proxy.
inline constexpr std::string_view rustfmt_library = "librustc_driver";

// Runs `rustfmt --edition <edition> --emit stdout --config <rustfmt_config>`
// on `source` and gives its standard output (invalid UTF-8 replaced by
// U+FFFD). Fails with "failed to run rustfmt: {}" when it can't be started,
// with rustfmt's whole standard error when it ends unsuccessfully, and with
// the I/O error text when feeding or collecting it fails. With `cancel_fd`
// (-1: none), stops early once that descriptor is readable, failing with
// "cancelled"; the child is then killed.
Result<std::string> run_rustfmt(std::string_view source, const std::string& edition, std::uint64_t max_width,
                                int cancel_fd = -1);

// How a run's rustfmt runs were made.
struct RustfmtCounts {
  std::uint64_t plain = 0;            // started afresh
  std::uint64_t served = 0;           // forked by a server
  std::uint64_t servers = 0;          // servers started
  std::uint64_t servers_dropped = 0;  // servers given up during the run (never ready, or broken)
};

// The rustfmt runs of one tool run. With the fork server on, and rustfmt on
// PATH an ELF executable, there is one server per argument list; a server
// that is not ready in time or breaks is given up, and the runs it would
// have served start afresh, so every result is exactly a plain start's.
class Rustfmt {
 public:
  explicit Rustfmt(bool fork_server);
  Rustfmt(const Rustfmt&) = delete;
  Rustfmt& operator=(const Rustfmt&) = delete;
  ~Rustfmt();

  // Starts the server for these arguments if there is none yet. Called by
  // the run thread, which outlives the servers, for every file before its
  // rustfmt runs.
  void prepare(const std::string& edition, std::uint64_t max_width);

  // rustfmt on `source`, as run_rustfmt gives it. Thread-safe.
  Result<std::string> format(std::string_view source, const std::string& edition, std::uint64_t max_width,
                             int cancel_fd = -1);

  RustfmtCounts counts() const;

 private:
  struct Server {
    std::optional<ForkServer> server;  // none when it could not start
    std::atomic<bool> given_up{false};
  };
  Server* server_for(const std::string& edition, std::uint64_t max_width);
  void give_up(Server& server);

  bool fork_server_;
  std::optional<bool> elf_;  // whether rustfmt on PATH can serve; run thread only
  mutable std::mutex mutex_;
  std::map<std::string, std::unique_ptr<Server>> servers_;  // by argument list
  std::atomic<std::uint64_t> plain_{0};
  std::atomic<std::uint64_t> served_{0};
  std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace tersify::driver
