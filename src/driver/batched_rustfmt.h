#pragma once
// Texts in batches (driver/rustfmt_batch.h): those whose rustfmt runs are
// alike go to one rustfmt as files, up to batch_slots at a time, through a
// fork server when `servers` are given, else started afresh. A text that a
// batch gives nothing for (a failure anywhere in it, a file rustfmt passes
// over) is formatted once more on its own, by the `next` way; so is a text
// that may be passed over, and every text once batch files can't be written
// (the temporary folder is full or read-only).

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "driver/formatter.h"
#include "driver/rustfmt_batch.h"
#include "driver/rustfmt_counts.h"
#include "driver/rustfmt_servers.h"
#include "driver/toolchain_choice.h"

namespace tersify::driver {

class BatchedRustfmt : public Formatter {
 public:
  BatchedRustfmt(BatchSetup setup, ToolchainChoices& toolchains, RustfmtServers* servers, Formatter& next,
                 RustfmtCounts& counts);

  void format(std::span<const FormatRequest> requests, const Cancellation* cancel, const FormatDone& done) override;

  std::size_t texts_at_once() const override { return batch_slots; }

 private:
  // What a served batch's server runs: rustfmt's arguments for a batch of
  // `settings` in the scratch folder, where it names the empty
  // configuration relative to it.
  std::vector<std::string> server_args(const FileSettings& settings) const;
  // One batch of texts with alike runs; their indices in the requests.
  void run_one(std::span<const FormatRequest> requests, std::span<const std::size_t> members,
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
