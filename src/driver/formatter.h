#pragma once
// What formats texts for the pipeline: rustfmt (driver/rustfmt.h) in a run,
// a stand-in in tests. The pipeline and the scheduler know a formatter only
// through this interface. Which way gives each result, and every fallback
// from one way to another, is the formatter's own business, chosen once
// when it is made: its callers never fall back themselves.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "driver/file_settings.h"
#include "util/cancellation.h"
#include "util/result.h"

namespace tersify::driver {

// A text to format, with the settings of its file.
struct FormatRequest {
  std::string_view text;
  const FileSettings* settings;
};

// Where a formatter hands each result: the index of its request, and the
// formatted text or the message to print after the file's path.
using FormatDone = std::function<void(std::size_t index, Result<std::string> result)>;

// One figure of a run's statistics: the line "{name} {value}" of
// CARGO_TERSIFY_STATS.
struct RunCount {
  std::string_view name;
  std::uint64_t value;
};

class Formatter {
 public:
  virtual ~Formatter() = default;

  // Formats every request's text and hands its result to `done` as soon as
  // it is known, once per request, in any order, on the calling thread. A
  // result is exactly what rustfmt gives the text alone on standard input
  // in its file's folder: the formatted text, or the failure message. Once
  // `cancel` (when given) is requested, texts fail with "cancelled".
  // Thread-safe.
  virtual void format(std::span<const FormatRequest> requests, const Cancellation* cancel, const FormatDone& done) = 0;

  // How many texts are worth handing over in one call (the scheduler gives
  // a worker up to this many files at once).
  virtual std::size_t texts_at_once() const { return 1; }

  // How the formatter got its results so far, for the run's statistics.
  virtual std::vector<RunCount> counts() const { return {}; }
};

// Every result of format(), in the order of the requests.
std::vector<Result<std::string>> format_all(Formatter& formatter, std::span<const FormatRequest> requests,
                                            const Cancellation* cancel);

// format() of one text.
Result<std::string> format_one(Formatter& formatter, std::string_view text, const FileSettings& settings,
                               const Cancellation* cancel);

}  // namespace tersify::driver
