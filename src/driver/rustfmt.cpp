#include "driver/rustfmt.h"

#include "util/process.h"
#include "util/text.h"

namespace tersify::driver {

std::string rustfmt_config(std::uint64_t max_width) {
  return "max_width=" + std::to_string(max_width) + ",use_small_heuristics=Max,disable_all_formatting=false";
}

Result<std::string> run_rustfmt(std::string_view source, const std::string& edition, std::uint64_t max_width,
                                int cancel_fd) {
  auto child = RunningChild::start(
      "rustfmt", {"--edition", edition, "--emit", "stdout", "--config", rustfmt_config(max_width)}, source);
  if (!child) return fail("failed to run rustfmt: " + std::move(child).error().message);
  auto exit = child->finish(cancel_fd);
  if (!exit) return fail(std::move(exit).error().message);
  // Warnings on standard error of a successful run are dropped; on failure
  // the whole text is the message, trailing newline included.
  if (!exit->success()) return fail(lossy_utf8(exit->err));
  return lossy_utf8(exit->out);
}

Result<std::string> Rustfmt::format(std::string_view source, const std::string& edition, std::uint64_t max_width,
                                    int cancel_fd) {
  ++plain_;
  return run_rustfmt(source, edition, max_width, cancel_fd);
}

}  // namespace tersify::driver
