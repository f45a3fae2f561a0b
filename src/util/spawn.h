#pragma once
// The one sequence that starts every child: a program found on the search
// path, started with fork and exec (never through a shell).

#include <sys/types.h>

#include <string>
#include <vector>

#include "util/program_path.h"
#include "util/result.h"

namespace tersify {

// How to start a program. One sequence starts every child: the termination
// signals are held until it is registered (util/child_registry.h), SIGPIPE
// and SIGXFSZ are back at their defaults, the standard streams are the
// given descriptors (-1: the null device), and with `die_with_parent` the
// child gets SIGKILL when the thread that started it ends, so that it dies
// with this process even when that is killed with SIGKILL. A child must be
// collected by the thread that started it, before that thread ends.
struct SpawnRequest {
  Program program;                                        // argv[0] is its name
  std::vector<std::string> args;                          // without the program name
  const std::vector<std::string>* environment = nullptr;  // none: ours
  int in = -1, out = -1, err = -1;
  std::vector<int> inherited;     // further close-on-exec descriptors the child keeps
  std::string working_directory;  // empty: ours
  bool die_with_parent = true;
};

// Starts and registers the child. Gives its pid or the error number.
Result<pid_t, int> spawn_registered(const SpawnRequest& request);

// The process ignores SIGPIPE and SIGXFSZ for its whole life, so that a write
// to a pipe whose reader has gone fails with EPIPE and a write beyond the file
// size limit fails with EFBIG, instead of ending the process. Children start
// with the default dispositions.
void ignore_write_signals();

}  // namespace tersify
