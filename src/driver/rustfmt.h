#pragma once
// Formatting one source text with the outside program rustfmt.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "util/result.h"

namespace tersify::driver {

// The --config value: the width, small heuristics at Max, and formatting
// switched back on over the "disable_all_formatting = true" that the
// project's rustfmt.toml holds.
std::string rustfmt_config(std::uint64_t max_width);

// Runs `rustfmt --edition <edition> --emit stdout --config <rustfmt_config>`
// on `source` and gives its standard output (invalid UTF-8 replaced by
// U+FFFD). Fails with "failed to run rustfmt: {}" when it can't be started,
// with rustfmt's whole standard error when it ends unsuccessfully, and with
// the I/O error text when feeding or collecting it fails. With `cancel_fd`
// (-1: none), stops early once that descriptor is readable, failing with
// "cancelled"; the child is then killed.
Result<std::string> run_rustfmt(std::string_view source, const std::string& edition, std::uint64_t max_width,
                                int cancel_fd = -1);

// How many rustfmt runs a run made, by the way they were started.
struct RustfmtCounts {
  std::uint64_t plain = 0;
};

// The rustfmt runs of one tool run. Thread-safe.
class Rustfmt {
 public:
  // Called by the run thread for every file before its rustfmt runs, with
  // the arguments it will run with.
  void prepare(const std::string& edition, std::uint64_t max_width) {
    (void)edition;
    (void)max_width;
  }
  // rustfmt on `source`, as run_rustfmt.
  Result<std::string> format(std::string_view source, const std::string& edition, std::uint64_t max_width,
                             int cancel_fd = -1);
  RustfmtCounts counts() const { return {plain_.load()}; }

 private:
  std::atomic<std::uint64_t> plain_{0};
};

}  // namespace tersify::driver
