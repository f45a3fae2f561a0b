#pragma once
// What a file is, as text for a cache key, without reading it all where
// that is not needed.

#include <optional>
#include <string>

namespace tersify {

// The file's path, size and modification time (following links), or none
// when it can't be looked at.
std::optional<std::string> file_stamp(const std::string& path);

// The bytes of the regular file at `path` as key text (their digest), or
// "missing" when nothing is there; none when something is there that can't
// be read as a regular file.
std::optional<std::string> file_contents_key(const std::string& path);

}  // namespace tersify
