#pragma once
// Child processes: a program found on PATH, started with posix_spawnp (never
// through a shell), its standard streams connected to close-on-exec pipes or
// the null device. Input is written whole first; then standard output and
// standard error are drained together with poll so that neither can stall
// the child; then it is waited for.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/result.h"

namespace tersify {

struct ChildExit {
  std::string out;          // everything written to standard output
  std::string err;          // everything written to standard error
  std::optional<int> code;  // exit code when the child exited normally
  std::optional<int> signal;  // signal number when a signal ended it
  bool success() const { return code.has_value() && *code == 0; }
};

struct ChildError {
  enum class Stage {
    start,    // the program could not be started
    write,    // writing standard input failed
    collect,  // reading the output or waiting failed
  };
  Stage stage;
  std::string message;  // the I/O error text
};

// Runs `program` with `args` (without the program name). When `input` is
// none, standard input is the null device; otherwise it is a pipe that gets
// the whole input and is then closed. On a write failure the pipes are closed
// and the child is left alone (the caller ends the run).
Result<ChildExit, ChildError> run_child(const std::string& program, const std::vector<std::string>& args,
                                        std::optional<std::string_view> input);

// The process ignores SIGPIPE for its whole life, so a write to a pipe whose
// reader has gone fails with EPIPE; children start with the default.
void ignore_sigpipe();

}  // namespace tersify
