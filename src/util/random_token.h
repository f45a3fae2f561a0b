#pragma once
// Names that nobody can guess: a file name in a folder that others may write
// must not be one they could have made first.

#include <string>

namespace tersify {

// 16 lower-case hex digits from the kernel's random source.
std::string random_token();

}  // namespace tersify
