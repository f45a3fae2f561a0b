#pragma once
// Test support: what /proc says of other processes, for tests that check
// that no child outlives its owner.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace tersify::test {

struct ProcessStat {
  pid_t parent;
  char state;  // 'Z' for a zombie
};

// The parent and state of `pid`, or none once it is gone.
std::optional<ProcessStat> process_stat(pid_t pid);

// The children of `parent` that are not zombies.
std::vector<pid_t> live_children_of(pid_t parent);

// The processes whose working directory is `dir` or lies below it.
std::vector<pid_t> processes_in(const std::string& dir);

}  // namespace tersify::test
