#pragma once
// Texts in batches (driver/rustfmt_batch.h): those whose rustfmt runs are
// alike go to one rustfmt as files, hundreds at a time, through a fork
// server when `servers` are given, else started afresh. A run's start, its
// page faults and its exit cost about as much as formatting a typical file,
// so the fewer runs the better; the limits keep a batch's texts (the group a
// worker holds, as read, formatted and compacted) to a few MiB.
//
// A batch that gives nothing (a failure anywhere in it, a file rustfmt
// passes over) is formatted again in parts: the texts that rustfmt's
// messages name on their own, the others as a batch again, or else each
// half as a batch, down to single texts, which the `next` way formats on
// their own: one bad text among hundreds costs a few more runs, not hundreds.
// A text that may be passed over goes to `next` at once, and so does every
// text once batch files can't be written (the temporary folder is full or
// read-only).

#include <atomic>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "driver/formatter.h"
#include "driver/rustfmt_batch.h"
#include "driver/rustfmt_counts.h"
#include "driver/rustfmt_servers.h"
#include "driver/toolchain_choice.h"

namespace tersify::driver {

// A batch's texts at most, in number and in bytes (a larger text is a batch
// of its own).
inline constexpr TextsAtOnce batch_limits{512, std::size_t{4} << 20};

class BatchedRustfmt : public Formatter {
 public:
  BatchedRustfmt(BatchSetup setup, ToolchainChoices& toolchains, RustfmtServers* servers, Formatter& next,
                 RustfmtCounts& counts);

  void format(std::span<const FormatRequest> requests, const Cancellation* cancel, const FormatDone& done) override;

  TextsAtOnce texts_at_once() const override { return batch_limits; }

 private:
  // One batch of texts with alike runs (their indices in the requests):
  // hands each text it gives to `done`, and gives the texts it gave nothing
  // for, with those that rustfmt's messages named when it failed.
  struct Unanswered {
    std::vector<std::size_t> texts;
    std::vector<std::size_t> named;  // of `texts`
    bool whole = false;              // the batch gave nothing at all
  };
  Unanswered run_one(std::span<const FormatRequest> requests, const std::vector<std::size_t>& members,
                     const Cancellation* cancel, const FormatDone& done);
  // The `next` way for one request.
  void alone(const FormatRequest& request, std::size_t index, const Cancellation* cancel, const FormatDone& done);

  BatchSetup setup_;
  ToolchainChoices& toolchains_;
  RustfmtServers* servers_;  // none: batches start afresh
  Formatter& next_;
  RustfmtCounts& counts_;
  // Set once batch files could not be written: texts go to `next_` from
  // then on.
  std::atomic<bool> no_scratch_folder_{false};
};

}  // namespace tersify::driver
