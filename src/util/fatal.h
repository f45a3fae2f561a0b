#pragma once
// Violated invariants that ordinary input cannot reach end the process at
// once: one line on standard error and exit status 101.

#include <string_view>

namespace tersify {

inline constexpr int internal_error_status = 101;

[[noreturn]] void internal_error(std::string_view message);

}  // namespace tersify
