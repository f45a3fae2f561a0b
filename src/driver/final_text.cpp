#include "driver/final_text.h"

#include <optional>
#include <utility>

#include "compact/compact.h"

namespace tersify::driver {
namespace {

// compact, one parse step at a time; none once `cancel` is requested.
std::optional<std::string> compact_unless_cancelled(std::string text, const FileSettings& settings,
                                                    const Cancellation* cancel) {
  compact::Compaction compaction(std::move(text), static_cast<std::size_t>(settings.max_width),
                                 static_cast<std::size_t>(settings.tab_width));
  while (!compaction.step()) {
    if (cancel != nullptr && cancel->requested()) return std::nullopt;
  }
  return compaction.result();
}

}  // namespace

Result<FinalText> final_text(std::string_view source, const FileSettings& settings, bool settle, Formatter& formatter,
                             const Cancellation* cancel) {
  int cancel_fd = cancel != nullptr ? cancel->fd() : -1;
  auto format = [&](std::string_view text) { return formatter.format(text, settings, cancel_fd); };
  auto formatted = format(source);
  if (!formatted) return fail(std::move(formatted).error());
  auto compacted = compact_unless_cancelled(std::move(*formatted), settings, cancel);
  if (!compacted) return fail("cancelled");
  FinalText result{std::move(*compacted), 1};
  if (result.text == source) {
    result.fixed_point = true;
    return result;
  }

  // A changed text is handed to rustfmt once more: to settle it in write
  // mode, and in check mode to know that a write would leave code rustfmt
  // accepts (compaction, or rustfmt itself, can break code). A text that
  // rustfmt rejects is never the result.
  auto again = format(result.text);
  if (cancel != nullptr && cancel->requested()) return fail("cancelled");
  if (!again) return fail(std::string(rejected_text_message) + "\n" + std::move(again).error());
  if (!settle) return result;

  // `result` is what would be written so far: the newest text that rustfmt
  // has not rejected. `current` may be one run ahead of it.
  FinalText current = result;
  for (int pass = 0;; ++pass) {
    auto next = compact_unless_cancelled(std::move(*again), settings, cancel);
    if (!next) return fail("cancelled");
    if (*next == current.text) {
      current.fixed_point = true;
      return current;
    }
    current = {std::move(*next), current.passes + 1, false};
    again = format(current.text);
    if (cancel != nullptr && cancel->requested()) return fail("cancelled");
    if (!again) return result;
    result = current;
    if (pass + 1 == max_settling_passes) return result;
  }
}

}  // namespace tersify::driver
