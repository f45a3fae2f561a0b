#include "util/io_error.h"

#include <cstring>

namespace tersify {

std::string io_error_text(int errnum) {
  // strerror_r in its GNU form may return a static string instead of filling
  // the buffer; use whichever pointer it gives.
  char buffer[256];
  const char* text = ::strerror_r(errnum, buffer, sizeof buffer);
  return std::string(text) + " (os error " + std::to_string(errnum) + ")";
}

}  // namespace tersify
