#pragma once
// The run's formatter: rustfmt in every way the run allows, chosen once when
// it is made. The ways hand on to each other, each one's `next` taking what
// it can't give:
//
//   batches (driver/batched_rustfmt.h)  texts as files, up to batch_slots
//     -> served runs (driver/served_rustfmt.h)  one text, forked by a server
//       -> fresh runs (driver/fresh_rustfmt.h)  one text, a new rustfmt
//
// A way that is not allowed is left out of the chain: fork servers and
// batches only with rustfmt on PATH an ELF executable (a script, a wrapper
// or a stand-in, is neither made a server nor given files instead of its
// standard input). Whatever the way, every result is exactly a fresh run's.
// A new way of running rustfmt is a Formatter of its own put into this
// chain, counting its runs in RustfmtCounts.

#include <memory>
#include <optional>
#include <vector>

#include "driver/batched_rustfmt.h"
#include "driver/environment.h"
#include "driver/formatter.h"
#include "driver/fresh_rustfmt.h"
#include "driver/rustfmt_counts.h"
#include "driver/rustfmt_servers.h"
#include "driver/served_rustfmt.h"
#include "driver/toolchain_choice.h"

namespace tersify::driver {

// The ways a run may use besides a fresh rustfmt per text.
struct RustfmtWays {
  bool fork_server = false;
  bool batches = false;
};

class Rustfmt : public Formatter {
 public:
  // rustfmt as `environment` finds it, in `ways`.
  Rustfmt(const Environment& environment, RustfmtWays ways);
  Rustfmt(const Rustfmt&) = delete;
  Rustfmt& operator=(const Rustfmt&) = delete;
  ~Rustfmt() override;

  void format(std::span<const FormatRequest> requests, const Cancellation* cancel, const FormatDone& done) override {
    first_->format(requests, cancel, done);
  }
  std::size_t texts_at_once() const override { return first_->texts_at_once(); }
  std::vector<RunCount> counts() const override { return counts_.named(); }

 private:
  RustfmtCounts counts_;
  ToolchainChoices toolchains_;
  std::optional<RustfmtServers> servers_;
  FreshRustfmt fresh_;
  std::optional<ServedRustfmt> served_;
  std::optional<BatchedRustfmt> batched_;
  Formatter* first_;
};

}  // namespace tersify::driver
