#pragma once
// Test support: what /proc says of other processes, for tests that check
// that no child outlives its owner, and programs started in the background.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tersify::test {

struct ProcessStat {
  pid_t parent;
  char state;        // 'Z' for a zombie
  std::string name;  // the command name, as in /proc/<pid>/comm
};

// The parent, state and name of `pid`, or none once it is gone.
std::optional<ProcessStat> process_stat(pid_t pid);

// The children of `parent` that are not zombies.
std::vector<pid_t> live_children_of(pid_t parent);

// The processes whose working directory is `dir` or lies below it.
std::vector<pid_t> processes_in(const std::string& dir);

// Whether `done()` holds within about twenty seconds, asked every `every`.
bool eventually(const std::function<bool()>& done, std::chrono::milliseconds every = std::chrono::milliseconds(10));

// Starts `argv` (argv[0] a path) in `cwd` with `env` ("NAME=value") added
// to or replacing this process's environment and its output going to
// /dev/null, without waiting for it.
pid_t start_in_background(const std::vector<std::string>& argv, const std::string& cwd,
                          const std::vector<std::string>& env);

}  // namespace tersify::test
