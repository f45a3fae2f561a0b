#pragma once
// Temporary names that carry their owner's process id, so that one left by a
// process that died before it could remove it (SIGKILL) is known as stale.

#include <string_view>

namespace tersify {

// Whether `name` is "{prefix}{pid}-..." for a pid whose process is gone.
bool left_by_dead_process(std::string_view name, std::string_view prefix);

}  // namespace tersify
