#pragma once
// Child processes: a program found on PATH, started with posix_spawnp (never
// through a shell), its standard streams connected to close-on-exec pipes or
// the null device. The input is written in full and its pipe closed while
// standard output and standard error are drained, all in one poll loop, so
// that no pipe can stall the child whatever the sizes; then it is waited for.
//
// Starting and collecting are separate steps, so that the caller can do its
// own work while the child runs. The output pipes are enlarged (up to 1 MiB
// each) so that a child can usually write all its output meanwhile.

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/fd.h"
#include "util/result.h"

namespace tersify {

struct ChildExit {
  std::string out;            // everything written to standard output
  std::string err;            // everything written to standard error
  std::optional<int> code;    // exit code when the child exited normally
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

// A started child whose input has been written in full and closed. Move-only.
// Destroying one that was not finished kills it (SIGKILL) and reaps it, so
// that no path leaves a child running or a zombie behind.
class RunningChild {
 public:
  // Spawns `program` with `args` (without the program name) and writes the
  // whole `input` (none: standard input is the null device; empty: the pipe
  // is closed at once). Output that arrives meanwhile stays buffered in the
  // object. On a write failure the pipes are closed and the child is neither
  // killed nor waited for: the caller ends the run.
  static Result<RunningChild, ChildError> start(const std::string& program, const std::vector<std::string>& args,
                                                std::optional<std::string_view> input);

  RunningChild(RunningChild&& other) noexcept;
  RunningChild& operator=(RunningChild&& other) noexcept;
  RunningChild(const RunningChild&) = delete;
  RunningChild& operator=(const RunningChild&) = delete;
  ~RunningChild();

  // Reads whatever output is available without ever blocking and gives
  // whether both output pipes have reached their end (or reading failed):
  // the child then needs only finish(), which no longer waits on output.
  // Output read here is kept for finish(), as is a read failure.
  bool poll_done();

  // Drains standard output and standard error to their ends and waits for
  // the child. Called once; afterwards the object holds no child.
  Result<ChildExit, ChildError> finish();

  // The process id, or -1 once the child was collected or given up.
  pid_t pid() const { return pid_; }

 private:
  RunningChild() = default;
  void kill_and_reap();

  pid_t pid_ = -1;
  Fd out_;  // closed at the end of the stream
  Fd err_;
  ChildExit collected_;
  std::optional<ChildError> failure_;  // met by poll_done, reported by finish
};

// Runs `program` with `args` (without the program name). When `input` is
// none, standard input is the null device; otherwise it is a pipe that gets
// the whole input and is then closed (an empty input closes it at once). On a
// write failure the pipes are closed and the child is neither killed nor
// waited for (the caller ends the run); every other path reaps the child.
// Whether the exit is a failure is the caller's call.
Result<ChildExit, ChildError> run_child(const std::string& program, const std::vector<std::string>& args,
                                        std::optional<std::string_view> input);

// The process ignores SIGPIPE and SIGXFSZ for its whole life, so that a write
// to a pipe whose reader has gone fails with EPIPE and a write beyond the file
// size limit fails with EFBIG, instead of ending the process. Children start
// with the default dispositions.
void ignore_write_signals();

}  // namespace tersify
