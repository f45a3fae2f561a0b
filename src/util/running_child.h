#pragma once
// A child of our own on pipes: started (util/spawn.h), fed and drained
// (util/child_pipes.h), then waited for by its pid. Starting and collecting
// are separate steps, so that the caller can do its own work while the child
// starts.

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/child_pipes.h"
#include "util/program_path.h"
#include "util/result.h"

namespace tersify {

// A started child with its pipes. Move-only. Destroying one that was not
// collected kills it (SIGKILL) and reaps it, so that no path leaves a child
// running or a zombie behind.
class RunningChild {
 public:
  // Spawns `program` with `args` (without the program name) in
  // `working_directory` (empty: ours). `input` is written by finish(); none
  // makes standard input the null device, empty closes the pipe at once. The
  // text must outlive the child.
  static Result<RunningChild, ChildError> start(const Program& program, const std::vector<std::string>& args,
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
Result<ChildExit, ChildError> run_child(const Program& program, const std::vector<std::string>& args,
                                        std::optional<std::string_view> input);

}  // namespace tersify
