#include "driver/fresh_rustfmt.h"

#include <utility>

#include "driver/rustfmt_message.h"
#include "util/running_child.h"
#include "util/text.h"

namespace tersify::driver {

Result<std::string> rustfmt_result(std::string_view source, Result<ChildExit, ChildError> exit) {
  if (!exit) return fail(std::move(exit).error().message);
  if (!exit->success()) return fail(rustfmt_failure_message(exit->err, exit->code, exit->signal));
  if (exit->out.empty() && !only_ascii_whitespace(source)) return fail("rustfmt printed nothing for a non-empty file");
  return lossy_utf8(exit->out);
}

Result<std::string> run_rustfmt(const Program& rustfmt, std::string_view source, const FileSettings& settings,
                                int cancel_fd) {
  auto child = RunningChild::start(rustfmt, rustfmt_args(settings), source, settings.folder);
  if (!child) return fail("failed to run rustfmt: " + std::move(child).error().message);
  return rustfmt_result(source, child->finish(cancel_fd));
}

void FreshRustfmt::format(std::span<const FormatRequest> requests, const Cancellation* cancel, const FormatDone& done) {
  for (std::size_t i = 0; i < requests.size(); ++i) {
    if (cancel != nullptr && cancel->requested()) {
      done(i, fail("cancelled"));
      continue;
    }
    ++counts_.plain;
    done(i, run_rustfmt(rustfmt_, requests[i].text, *requests[i].settings, cancel != nullptr ? cancel->fd() : -1));
  }
}

}  // namespace tersify::driver
