#pragma once
// The text the tool puts into a file: rustfmt's output for the file's text,
// compacted. rustfmt does not always accept the compact layout as it is (it
// takes the braces off a closure body that compaction joined onto one line),
// so in write mode the pipeline is run again on its own result until the text
// stops changing: a write is then followed by a --check that finds nothing.
//
// Several files' final texts are computed side by side, so that each
// round's texts (first formatting, confirmation, settling) go to the
// formatter in one call, where they can share a rustfmt run
// (driver/rustfmt.h); a single file is a group of one.

#include <cstddef>
#include <functional>
#include <span>
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
  // Whether the pipeline is known to give `text` back unchanged: true when
  // `text` is the source, or when settling ended on a text that came back.
  bool fixed_point = false;
};

// The first line of the failure of a file whose formatted text rustfmt
// rejects; rustfmt's own message follows on the next line.
inline constexpr const char* rejected_text_message =
    "formatting produced text that rustfmt rejects; the file is left unchanged";

// A file's text to take through the pipeline, with its settings.
struct FinalTextRequest {
  std::string_view source;
  const FileSettings* settings;
};

// The formatter, then compact at the settings' width. A result that differs
// from the source is formatted once more, and if rustfmt rejects it the file
// fails with rejected_text_message: no text rustfmt rejects is ever a result
// (a rustfmt that a signal ended rejects nothing: the file then fails with
// that message alone). With `settle`, the result goes through the pipeline
// again until it comes back unchanged, for at most max_settling_passes more
// runs; a rustfmt failure on such a later text is no failure: the result is
// then the last text that rustfmt accepted. Fails also when rustfmt fails on
// the source itself, or with "cancelled" once `cancel` (when given) is
// requested: the formatter watches it, compaction looks between its steps.
//
// `done` is told each file's result (by its index in `files`) as soon as it
// is known. The sources must outlive the call.
void final_texts(std::span<const FinalTextRequest> files, bool settle, Formatter& formatter, const Cancellation* cancel,
                 const std::function<void(std::size_t, Result<FinalText>)>& done);

// final_texts for one file.
Result<FinalText> final_text(std::string_view source, const FileSettings& settings, bool settle, Formatter& formatter,
                             const Cancellation* cancel = nullptr);

}  // namespace tersify::driver
