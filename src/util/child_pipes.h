#pragma once
// A child's standard streams: close-on-exec pipes (or the null device for
// input), and the pump that writes its input while it drains standard output
// and standard error, all in one poll loop, so that no pipe can stall the
// child whatever the sizes. The output pipes are enlarged (up to 1 MiB each)
// so that a child can usually write all its output while the caller does its
// own work.
//
// The pipes know nothing of how their child is started or waited for: a
// child of our own (util/running_child.h) waits for its pid, a run that a
// fork server forks for us (fork_server/served_run.h) for the server's report.

#include <optional>
#include <string>
#include <string_view>

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

}  // namespace tersify
