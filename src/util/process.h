#pragma once
// Child processes: a program found on PATH, started with fork and exec (never
// through a shell), its standard streams connected to close-on-exec pipes or
// the null device. Its input is written while standard output and standard
// error are drained, all in one poll loop, so that no pipe can stall the
// child whatever the sizes; then it is waited for.
//
// Starting and collecting are separate steps, so that the caller can do its
// own work while the child starts. The output pipes are enlarged (up to
// 1 MiB each) so that a child can usually write all its output meanwhile.
//
// The pipes and their pump (ChildPipes) know nothing of how the child is
// waited for: RunningChild waits for a pid of its own; other owners (a run
// that another process forks for us) bring their own wait.

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
    start,      // the program could not be started
    write,      // writing standard input failed, and the child still succeeded
    collect,    // reading the output or waiting failed
    cancelled,  // the caller's cancel descriptor became readable
  };
  Stage stage;
  std::string message;  // the I/O error text
};

// What the pump collected once both output pipes reached their end.
struct PumpedOutput {
  std::string out;
  std::string err;
  std::optional<ChildError> write_failure;  // the child stopped reading its input early
};

// A child's three standard streams: the child's ends, handed over when it
// starts, and ours, which feed its input and drain its output. Move-only.
class ChildPipes {
 public:
  // New pipes; `input` is what pump() writes (none: the child's standard
  // input is the null device, which the starter opens). The text must
  // outlive the pump.
  static Result<ChildPipes, ChildError> make(std::optional<std::string_view> input);

  ChildPipes(ChildPipes&&) noexcept = default;
  ChildPipes& operator=(ChildPipes&&) noexcept = default;
  ChildPipes(const ChildPipes&) = delete;
  ChildPipes& operator=(const ChildPipes&) = delete;
  ~ChildPipes() = default;

  // The child's ends of standard input (-1: the null device), output and
  // error, for the start.
  int child_in() const { return child_in_.get(); }
  int child_out() const { return child_out_.get(); }
  int child_err() const { return child_err_.get(); }
  // Closes the child's ends here once the child holds its own: only the
  // child may keep them, or the output pipes never report their end.
  void close_child_ends();

  // Writes the input while draining standard output and standard error to
  // their ends. A failed write (the child closed its input early) drops the
  // rest of the input and goes on draining. With `cancel_fd` (-1: none),
  // stops with Stage::cancelled as soon as that descriptor is readable.
  Result<PumpedOutput, ChildError> pump(int cancel_fd);

  // Closes our ends: the child sees its input end and its output go nowhere.
  void close();

 private:
  ChildPipes() = default;
  Fd child_in_, child_out_, child_err_;
  Fd in_, out_, err_;         // ours
  std::string_view pending_;  // input not yet written
};

// The exit of a child from its raw wait status and what the pump collected:
// a write failure counts only when the child still succeeded (a child that
// fails says more in its own exit).
Result<ChildExit, ChildError> child_exit(int wait_status, PumpedOutput pumped);

// How to start a program. One sequence starts every child: the termination
// signals are held until it is registered (util/child_registry.h), SIGPIPE
// and SIGXFSZ are back at their defaults, the standard streams are the
// given descriptors (-1: the null device), and with `die_with_parent` the
// child gets SIGKILL when the thread that started it ends, so that it dies
// with this process even when that is killed with SIGKILL. A child must be
// collected by the thread that started it, before that thread ends.
struct SpawnRequest {
  std::string program;  // found on PATH as execvp finds it
  std::vector<std::string> args;  // without the program name
  const std::vector<std::string>* environment = nullptr;  // none: ours
  int in = -1, out = -1, err = -1;
  std::vector<int> inherited;  // further close-on-exec descriptors the child keeps
  std::string working_directory;  // empty: ours
  bool die_with_parent = true;
};

// Starts and registers the child. Gives its pid or the error number.
Result<pid_t, int> spawn_registered(const SpawnRequest& request);

// A started child with its pipes. Move-only. Destroying one that was not
// collected kills it (SIGKILL) and reaps it, so that no path leaves a child
// running or a zombie behind.
class RunningChild {
 public:
  // Spawns `program` with `args` (without the program name) in
  // `working_directory` (empty: ours). `input` is written by finish(); none
  // makes standard input the null device, empty closes the pipe at once. The
  // text must outlive the child.
  static Result<RunningChild, ChildError> start(const std::string& program, const std::vector<std::string>& args,
                                                std::optional<std::string_view> input,
                                                const std::string& working_directory = {});

  RunningChild(RunningChild&& other) noexcept;
  RunningChild& operator=(RunningChild&& other) noexcept;
  RunningChild(const RunningChild&) = delete;
  RunningChild& operator=(const RunningChild&) = delete;
  ~RunningChild();

  // Pumps the pipes (ChildPipes::pump), then waits for the child. Called
  // once; a failure leaves the child to the destructor.
  Result<ChildExit, ChildError> finish(int cancel_fd = -1);

  // The process id, or -1 once the child was collected.
  pid_t pid() const { return pid_; }

 private:
  RunningChild(pid_t pid, ChildPipes pipes) : pid_(pid), pipes_(std::move(pipes)) {}
  void kill_and_reap();

  pid_t pid_ = -1;
  std::optional<ChildPipes> pipes_;
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
