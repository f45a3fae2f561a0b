#pragma once
// What formats one text for a file: rustfmt (driver/rustfmt.h) in a run, a
// stand-in in tests. The pipeline and the scheduler know a formatter only
// through this interface.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "driver/file_settings.h"
#include "util/result.h"

namespace tersify::driver {

// A text to format, with the settings of its file.
struct FormatRequest {
  std::string_view text;
  const FileSettings* settings;
};

class Formatter {
 public:
  virtual ~Formatter() = default;

  // The formatted text. Fails with the message to print after the path, or
  // with "cancelled" once `cancel_fd` (-1: none) is readable. Thread-safe.
  virtual Result<std::string> format(std::string_view text, const FileSettings& settings, int cancel_fd) = 0;

  // Several texts at once, where that costs less than one at a time: each
  // one's formatted text where it is known to be exactly what format()
  // would give on success, else none (format() then gives its answer,
  // failures included). By default nothing is known. Thread-safe.
  virtual std::vector<std::optional<std::string>> format_together(std::span<const FormatRequest> requests,
                                                                  int /*cancel_fd*/) {
    return std::vector<std::optional<std::string>>(requests.size());
  }
};

}  // namespace tersify::driver
