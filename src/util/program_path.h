#pragma once
// Where a program named without a slash is found on PATH.

#include <optional>
#include <string>

namespace tersify {

// The file that posix_spawnp and execvp run for `program`: the first entry
// of PATH (default "/bin:/usr/bin"; an empty entry is ".") holding a regular
// file we may execute, or `program` itself when it contains a slash and is
// such a file. None when there is none.
std::optional<std::string> program_on_path(const std::string& program);

}  // namespace tersify
