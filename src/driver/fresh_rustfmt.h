#pragma once
// The plain way: a fresh rustfmt for every text, on standard input, in the
// folder of the file (as cargo fmt runs it: the file gets its configuration
// and the toolchain the rustup proxy picks there). Every other way must give
// exactly its results.

#include <string>
#include <string_view>

#include "driver/file_settings.h"
#include "driver/formatter.h"
#include "driver/rustfmt_counts.h"
#include "util/child_pipes.h"
#include "util/program_path.h"
#include "util/result.h"

namespace tersify::driver {

// What a collected rustfmt run on `source` gave: its standard output
// (invalid UTF-8 replaced by U+FFFD; warnings on standard error of a
// successful run are dropped), or the failure: `exit`'s own when it could
// not be run or collected, rustfmt's message (driver/rustfmt_message.h) when
// it ended unsuccessfully, and a failure too when it succeeded without output
// for a `source` that holds more than whitespace (code never formats to
// nothing: such a rustfmt is broken, and must not empty the file).
Result<std::string> rustfmt_result(std::string_view source, Result<ChildExit, ChildError> exit);

// Runs `rustfmt <rustfmt_args>` on `source` in the settings' folder and
// gives rustfmt_result, or a failure when it can't be started. With
// `cancel_fd` (-1: none), stops early once that descriptor is readable,
// failing with "cancelled"; the child is then killed.
Result<std::string> run_rustfmt(const Program& rustfmt, std::string_view source, const FileSettings& settings,
                                int cancel_fd = -1);

class FreshRustfmt : public Formatter {
 public:
  FreshRustfmt(Program rustfmt, RustfmtCounts& counts) : rustfmt_(std::move(rustfmt)), counts_(counts) {}

  void format(std::span<const FormatRequest> requests, const Cancellation* cancel, const FormatDone& done) override;

 private:
  Program rustfmt_;
  RustfmtCounts& counts_;
};

}  // namespace tersify::driver
