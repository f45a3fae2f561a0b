#pragma once
// Child processes: a program found on PATH, started with posix_spawnp (never
// through a shell), its standard streams connected to close-on-exec pipes or
// the null device. Its input is written while standard output and standard
// error are drained, all in one poll loop, so that no pipe can stall the
// child whatever the sizes; then it is waited for.
//
// Starting and collecting are separate steps, so that the caller can do its
// own work while the child starts. The output pipes are enlarged (up to
// 1 MiB each) so that a child can usually write all its output meanwhile.

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/fd.h"
#include "util/fork_server.h"
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
    start,      // the program could not be started
    write,      // writing standard input failed, and the child still succeeded
    collect,    // reading the output or waiting failed
    cancelled,  // the caller's cancel descriptor became readable
    server,     // a fork server could not take or finish the run: it has no result
  };
  Stage stage;
  std::string message;  // the I/O error text
};

// A started child. Move-only. Destroying one that was not collected kills it
// (SIGKILL) and reaps it, so that no path leaves a child running or a zombie
// behind. Every child is noted in the child registry while it may run.
class RunningChild {
 public:
  // Spawns `program` with `args` (without the program name). `input` is
  // written by finish(); none makes standard input the null device, empty
  // closes the pipe at once. The text must outlive the child.
  static Result<RunningChild, ChildError> start(const std::string& program, const std::vector<std::string>& args,
                                                std::optional<std::string_view> input);

  // The same through `server`, which runs its program with its arguments.
  // Fails with Stage::server when the server can't take the run; a run that
  // the server loses on the way fails in finish() the same way. Either way
  // the program has not given a result, and a plain start is the answer.
  static Result<RunningChild, ChildError> start_served(ForkServer& server, std::optional<std::string_view> input);

  RunningChild(RunningChild&& other) noexcept;
  RunningChild& operator=(RunningChild&& other) noexcept;
  RunningChild(const RunningChild&) = delete;
  RunningChild& operator=(const RunningChild&) = delete;
  ~RunningChild();

  // Writes the input while draining standard output and standard error to
  // their ends, then waits for the child. When a write fails (the child closed
  // its input early) the rest of the input is dropped and the child still
  // collected: a child that then fails gives its exit, as any failing child
  // does, and one that succeeds gives the write failure. With `cancel_fd`
  // (-1: none), gives Stage::cancelled as soon as that descriptor is readable;
  // the child is then left to the destructor. Called once.
  Result<ChildExit, ChildError> finish(int cancel_fd = -1);

  // The process id of a plain start, or -1 once the child was collected
  // (and for a served run, whose process is the server's child).
  pid_t pid() const { return pid_; }

 private:
  RunningChild() = default;
  // Keeps our ends of the pipes and the input to write.
  void take_pipes(Fd in, Fd out, Fd err, std::optional<std::string_view> input);
  void kill_and_reap();

  pid_t pid_ = -1;
  std::optional<ServedChild> served_;
  Fd in_;   // closed once the input is written
  Fd out_;  // closed at the end of the stream
  Fd err_;
  std::string_view pending_;  // input not yet written
};

// RunningChild::start and finish in one.
Result<ChildExit, ChildError> run_child(const std::string& program, const std::vector<std::string>& args,
                                        std::optional<std::string_view> input);

// The process ignores SIGPIPE and SIGXFSZ for its whole life, so that a write
// to a pipe whose reader has gone fails with EPIPE and a write beyond the file
// size limit fails with EFBIG, instead of ending the process. Children start
// with the default dispositions.
void ignore_write_signals();

}  // namespace tersify
