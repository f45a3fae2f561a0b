#include "driver/final_text.h"

#include <optional>
#include <utility>
#include <vector>

#include "compact/compact.h"
#include "driver/rustfmt_message.h"

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

// One file's pipeline with the formatting left to the caller: while wanted()
// names a text, the caller formats it and gives the answer; then result()
// is the file's final text.
class FinalTextSteps {
 public:
  // `source` must outlive the steps.
  FinalTextSteps(std::string_view source, const FileSettings& settings, bool settle, const Cancellation* cancel)
      : source_(source), settings_(settings), settle_(settle), cancel_(cancel) {}

  // The text to format next (valid until give), or none once done.
  std::optional<std::string_view> wanted() const;

  // The formatter's answer for the wanted text; compacts it.
  void give(Result<std::string> formatted);

  // Once done.
  Result<FinalText> result() && { return std::move(*outcome_); }

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

std::optional<std::string_view> FinalTextSteps::wanted() const {
  switch (stage_) {
    case Stage::first:
      return source_;
    case Stage::verify:
      return std::string_view(result_.text);
    case Stage::settle:
      return std::string_view(current_.text);
    case Stage::done:
      break;
  }
  return std::nullopt;
}

void FinalTextSteps::finish(Result<FinalText> outcome) {
  outcome_ = std::move(outcome);
  stage_ = Stage::done;
}

void FinalTextSteps::give(Result<std::string> formatted) {
  bool cancelled = cancel_ != nullptr && cancel_->requested();
  switch (stage_) {
    case Stage::first: {
      if (!formatted) return finish(fail(std::move(formatted).error()));
      auto compacted = compact_unless_cancelled(std::move(*formatted), settings_, cancel_);
      if (!compacted) return finish(fail("cancelled"));
      result_ = {std::move(*compacted), 1, false};
      if (result_.text == source_) {
        result_.fixed_point = true;
        return finish(std::move(result_));
      }
      // A changed text is handed to rustfmt once more: to settle it in write
      // mode, and in check mode to know that a write would leave code rustfmt
      // accepts (compaction, or rustfmt itself, can break code). A text that
      // rustfmt rejects is never the result.
      stage_ = Stage::verify;
      return;
    }
    case Stage::verify:
      if (cancelled) return finish(fail("cancelled"));
      if (!formatted) {
        // A rustfmt that was killed said nothing about the text: the kill is
        // the cause.
        if (tells_a_kill(formatted.error())) return finish(fail(std::move(formatted).error()));
        return finish(fail(std::string(rejected_text_message) + "\n" + std::move(formatted).error()));
      }
      if (!settle_) return finish(std::move(result_));
      current_ = result_;
      return settle_on(std::move(*formatted));
    case Stage::settle:
      if (cancelled) return finish(fail("cancelled"));
      if (!formatted) return finish(std::move(result_));
      result_ = current_;
      if (++settling_pass_ == max_settling_passes) return finish(std::move(result_));
      return settle_on(std::move(*formatted));
    case Stage::done:
      break;
  }
}

// One more pass: `formatted` is rustfmt's text for current_.
void FinalTextSteps::settle_on(std::string formatted) {
  auto next = compact_unless_cancelled(std::move(formatted), settings_, cancel_);
  if (!next) return finish(fail("cancelled"));
  if (*next == current_.text) {
    current_.fixed_point = true;
    return finish(std::move(current_));
  }
  current_ = {std::move(*next), current_.passes + 1, false};
  stage_ = Stage::settle;
}

}  // namespace

void final_texts(std::span<const FinalTextRequest> files, bool settle, Formatter& formatter, const Cancellation* cancel,
                 const std::function<void(std::size_t, Result<FinalText>)>& done) {
  std::vector<FinalTextSteps> steps;
  steps.reserve(files.size());
  for (const auto& file : files) steps.emplace_back(file.source, *file.settings, settle, cancel);
  for (;;) {
    // This round's texts, one per file still going.
    std::vector<FormatRequest> requests;
    std::vector<std::size_t> asking;
    for (std::size_t i = 0; i < steps.size(); ++i) {
      if (auto text = steps[i].wanted()) {
        requests.push_back({*text, files[i].settings});
        asking.push_back(i);
      }
    }
    if (requests.empty()) return;
    formatter.format(requests, cancel, [&](std::size_t k, Result<std::string> formatted) {
      std::size_t i = asking[k];
      steps[i].give(std::move(formatted));
      if (!steps[i].wanted()) done(i, std::move(steps[i]).result());
    });
  }
}

Result<FinalText> final_text(std::string_view source, const FileSettings& settings, bool settle, Formatter& formatter,
                             const Cancellation* cancel) {
  FinalTextRequest file{source, &settings};
  std::optional<Result<FinalText>> result;
  final_texts({&file, 1}, settle, formatter, cancel,
              [&](std::size_t, Result<FinalText> final) { result = std::move(final); });
  return std::move(*result);
}

}  // namespace tersify::driver
