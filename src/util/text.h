#pragma once
// UTF-8 checks and conversions, Unicode White_Space trimming and the one
// unsigned-number syntax used by "--width" and "max_width".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tersify {

bool is_valid_utf8(std::string_view bytes);

// The bytes decoded as UTF-8 with each maximal invalid subsequence replaced by
// U+FFFD (the same replacement policy as Rust's String::from_utf8_lossy).
std::string lossy_utf8(std::string_view bytes);

// Whitespace in the Unicode sense (the White_Space property). The input must
// be valid UTF-8.
bool is_unicode_whitespace(char32_t c);
std::string_view trim_start_whitespace(std::string_view text);
std::string_view trim_end_whitespace(std::string_view text);
std::string_view trim_whitespace(std::string_view text);

// The lines of `text`, each with its "\n" (so "\r\n" stays whole); the last
// one may have none. An empty text has no lines.
std::vector<std::string_view> lines_with_ends(std::string_view text);

// Whether the text holds nothing but ASCII whitespace (or nothing).
inline bool only_ascii_whitespace(std::string_view text) {
  return text.find_first_not_of(" \t\n\r\f\v") == std::string_view::npos;
}

// An optional single "+", then one or more ASCII digits and nothing else, at
// most 2^64-1. Anything else gives none.
std::optional<std::uint64_t> parse_unsigned(std::string_view text);

}  // namespace tersify
