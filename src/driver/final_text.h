#pragma once
// The text the tool puts into a file: rustfmt's output for the file's text,
// compacted. rustfmt does not always accept the compact layout as it is (it
// takes the braces off a closure body that compaction joined onto one line),
// so in write mode the pipeline is run again on its own result until the text
// stops changing: a write is then followed by a --check that finds nothing.

#include <optional>
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

// The formatter, then compact at the settings' width. A result that differs
// from `source` is formatted once more, and if rustfmt rejects it the file
// fails with rejected_text_message: no text rustfmt rejects is ever a result
// (a rustfmt that a signal ended rejects nothing: the file then fails with
// that message alone).
// With `settle`, the result goes through the pipeline again until it comes
// back unchanged, for at most max_settling_passes more runs; a rustfmt
// failure on such a later text is no failure: the result is then the last
// text that rustfmt accepted. Fails also when rustfmt fails on `source`
// itself, or with "cancelled" once `cancel` (when given) is requested: the
// formatter watches its descriptor, compaction looks between its steps.
Result<FinalText> final_text(std::string_view source, const FileSettings& settings, bool settle, Formatter& formatter,
                             const Cancellation* cancel = nullptr);

// final_text with the formatting left to the caller, so that the texts of
// several files can be formatted together: while wanted() names a text, the
// caller formats it and gives the answer; then result() is final_text's.
class FinalTextSteps {
 public:
  // `source` must outlive the steps.
  FinalTextSteps(std::string_view source, const FileSettings& settings, bool settle, const Cancellation* cancel);

  // The text to format next (valid until give), or none once done.
  std::optional<std::string_view> wanted() const;

  // The formatter's answer for the wanted text; compacts it.
  void give(Result<std::string> formatted);

  // Once done.
  Result<FinalText> result() &&;

 private:
  enum class Stage { first, verify, settle, done };
  void settle_on(std::string formatted);
  void finish(Result<FinalText> outcome);

  std::string_view source_;
  const FileSettings& settings_;
  bool settle_;
  const Cancellation* cancel_;
  Stage stage_ = Stage::first;
  int settling_pass_ = 0;
  FinalText result_;   // the newest text that rustfmt has not rejected
  FinalText current_;  // may be one run ahead of result_
  std::optional<Result<FinalText>> outcome_;
};

}  // namespace tersify::driver
