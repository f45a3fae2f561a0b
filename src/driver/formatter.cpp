#include "driver/formatter.h"

#include <optional>
#include <utility>

#include "util/fatal.h"

namespace tersify::driver {

std::vector<Result<std::string>> format_all(Formatter& formatter, std::span<const FormatRequest> requests,
                                            const Cancellation* cancel) {
  std::vector<std::optional<Result<std::string>>> given(requests.size());
  formatter.format(requests, cancel, [&](std::size_t index, Result<std::string> result) {
    if (index >= given.size() || given[index]) internal_error("a formatter gave a result twice or out of range");
    given[index] = std::move(result);
  });
  std::vector<Result<std::string>> results;
  results.reserve(given.size());
  for (auto& result : given) {
    if (!result) internal_error("a formatter gave no result for a text");
    results.push_back(std::move(*result));
  }
  return results;
}

Result<std::string> format_one(Formatter& formatter, std::string_view text, const FileSettings& settings,
                               const Cancellation* cancel) {
  FormatRequest request{text, &settings};
  return std::move(format_all(formatter, {&request, 1}, cancel).front());
}

}  // namespace tersify::driver
