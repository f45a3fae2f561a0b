#pragma once
// A 128-bit digest of bytes (XXH3), for naming things by their contents.

#include <string>
#include <string_view>

namespace tersify {

// 32 lowercase hex digits.
std::string hex_digest(std::string_view data);

// Appends `part` to `key` with its length in front, so that a sequence of
// parts can't be read as another sequence with the same concatenation.
void append_key_part(std::string& key, std::string_view part);

}  // namespace tersify
