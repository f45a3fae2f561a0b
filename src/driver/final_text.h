#pragma once
// The text the tool puts into a file: rustfmt's output for the file's text,
// compacted. rustfmt does not always accept the compact layout as it is (it
// takes the braces off a closure body that compaction joined onto one line),
// so in write mode the pipeline is run again on its own result until the text
// stops changing: a write is then followed by a --check that finds nothing.

#include <string>
#include <string_view>

#include "driver/file_settings.h"
#include "driver/formatter.h"
#include "util/cancellation.h"
#include "util/result.h"

namespace tersify::driver {

// Extra runs of the pipeline over its own result, at most.
inline constexpr int max_settling_passes = 3;

struct FinalText {
  std::string text;
  int passes = 1;  // pipeline runs it took to reach `text`: 1 to 1 + max_settling_passes
};

// The formatter, then compact at the settings' width. With `settle`, a result that differs
// from `source` goes through the pipeline again until it comes back unchanged,
// for at most max_settling_passes more runs; the last text is kept. A rustfmt
// failure on such a later text is no failure: the result is then the last text
// that rustfmt accepted (at least the first result), never one it rejects.
// Fails only when rustfmt fails on `source` itself, or with "cancelled" once
// `cancel` (when given) is requested: the formatter watches its descriptor,
// compaction looks between its steps.
Result<FinalText> final_text(std::string_view source, const FileSettings& settings, bool settle, Formatter& formatter,
                             const Cancellation* cancel = nullptr);

}  // namespace tersify::driver
