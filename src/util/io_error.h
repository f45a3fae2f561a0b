#pragma once

#include <string>

namespace tersify {

// The text of an operating-system error: "{message} (os error {errno})".
std::string io_error_text(int errnum);

// The text of a read that found bytes that are not UTF-8.
inline constexpr const char* invalid_utf8_text = "stream did not contain valid UTF-8";

}  // namespace tersify
