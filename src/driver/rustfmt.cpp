#include "driver/rustfmt.h"

#include "util/text.h"

namespace tersify::driver {

std::string rustfmt_config(std::uint64_t max_width) {
  return "max_width=" + std::to_string(max_width) + ",use_small_heuristics=Max,disable_all_formatting=false";
}

Result<RunningChild> start_rustfmt(std::string_view source, const std::string& edition, std::uint64_t max_width) {
  auto child = RunningChild::start(
      "rustfmt", {"--edition", edition, "--emit", "stdout", "--config", rustfmt_config(max_width)}, source);
  if (!child) {
    auto error = std::move(child).error();
    if (error.stage == ChildError::Stage::start) return fail("failed to run rustfmt: " + error.message);
    return fail(std::move(error.message));
  }
  return std::move(*child);
}

Result<std::string> finish_rustfmt(RunningChild& rustfmt) {
  auto exit = rustfmt.finish();
  if (!exit) return fail(std::move(exit).error().message);
  // Warnings on standard error of a successful run are dropped; on failure
  // the whole text is the message, trailing newline included.
  if (!exit->success()) return fail(lossy_utf8(exit->err));
  return lossy_utf8(exit->out);
}

Result<std::string> run_rustfmt(std::string_view source, const std::string& edition, std::uint64_t max_width) {
  auto child = start_rustfmt(source, edition, max_width);
  if (!child) return fail(std::move(child).error());
  return finish_rustfmt(*child);
}

}  // namespace tersify::driver
