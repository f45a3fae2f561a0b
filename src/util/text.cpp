#include "util/text.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace tersify {
namespace {

// Length of the valid UTF-8 sequence at `i`, or 0 when the bytes there are
// not one. `*valid_prefix` receives the length of the longest prefix that
// could still have started a valid sequence (the maximal subpart), at least 1.
size_t utf8_sequence(std::string_view s, size_t i, size_t* valid_prefix) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char b0 = byte(i);
  *valid_prefix = 1;
  if (b0 < 0x80) return 1;
  size_t need;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  for (size_t k = 1; k < need; ++k) {
    if (i + k >= s.size()) return 0;
    unsigned char b = byte(i + k);
    unsigned char l = k == 1 ? lo : 0x80, h = k == 1 ? hi : 0xBF;
    if (b < l || b > h) return 0;
    *valid_prefix = k + 1;
  }
  return need;
}

char32_t decode_at(std::string_view s, size_t i, size_t len) {
  auto byte = [&](size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(s[k])); };
  switch (len) {
    case 1:
      return byte(i);
    case 2:
      return ((byte(i) & 0x1F) << 6) | (byte(i + 1) & 0x3F);
    case 3:
      return ((byte(i) & 0x0F) << 12) | ((byte(i + 1) & 0x3F) << 6) | (byte(i + 2) & 0x3F);
    default:
      return ((byte(i) & 0x07) << 18) | ((byte(i + 1) & 0x3F) << 12) | ((byte(i + 2) & 0x3F) << 6) |
             (byte(i + 3) & 0x3F);
  }
}

// Length of the whitespace character at `i` (valid UTF-8 assumed), or 0.
size_t whitespace_at(std::string_view s, size_t i) {
  size_t prefix;
  size_t len = utf8_sequence(s, i, &prefix);
  if (len == 0) return 0;
  return is_unicode_whitespace(decode_at(s, i, len)) ? len : 0;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    // Runs of ASCII are the common case: eight bytes at a look.
    while (i + 8 <= bytes.size()) {
      std::uint64_t word;
      std::memcpy(&word, bytes.data() + i, sizeof word);
      if ((word & 0x8080808080808080u) != 0) break;
      i += 8;
    }
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
    if (i == bytes.size()) break;
    size_t prefix;
    size_t len = utf8_sequence(bytes, i, &prefix);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string lossy_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    size_t prefix;
    size_t len = utf8_sequence(bytes, i, &prefix);
    if (len == 0) {
      out += "\xEF\xBF\xBD";
      i += prefix;
    } else {
      out.append(bytes.substr(i, len));
      i += len;
    }
  }
  return out;
}

bool is_unicode_whitespace(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

std::string_view trim_start_whitespace(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    size_t len = whitespace_at(text, i);
    if (len == 0) break;
    i += len;
  }
  return text.substr(i);
}

std::string_view trim_end_whitespace(std::string_view text) {
  size_t end = text.size();
  while (end > 0) {
    // Step back to the start of the last character.
    size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    if (whitespace_at(text.substr(0, end), start) != end - start) break;
    end = start;
  }
  return text.substr(0, end);
}

std::string_view trim_whitespace(std::string_view text) { return trim_end_whitespace(trim_start_whitespace(text)); }

std::optional<std::uint64_t> parse_unsigned(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::vector<std::string_view> lines_with_ends(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(0, length));
    text.remove_prefix(length);
  }
  return lines;
}

}  // namespace tersify
