#include "driver/final_text.h"

#include <optional>
#include <utility>

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

}  // namespace

FinalTextSteps::FinalTextSteps(std::string_view source, const FileSettings& settings, bool settle,
                               const Cancellation* cancel)
    : source_(source), settings_(settings), settle_(settle), cancel_(cancel) {}

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

Result<FinalText> FinalTextSteps::result() && { return std::move(*outcome_); }

Result<FinalText> final_text(std::string_view source, const FileSettings& settings, bool settle, Formatter& formatter,
                             const Cancellation* cancel) {
  int cancel_fd = cancel != nullptr ? cancel->fd() : -1;
  FinalTextSteps steps(source, settings, settle, cancel);
  while (auto text = steps.wanted()) steps.give(formatter.format(*text, settings, cancel_fd));
  return std::move(steps).result();
}

}  // namespace tersify::driver
