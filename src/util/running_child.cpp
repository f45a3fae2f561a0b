#include "util/running_child.h"

#include <csignal>
#include <utility>

#include "util/child_registry.h"
#include "util/fatal.h"
#include "util/io_error.h"
#include "util/spawn.h"

namespace tersify {
namespace {

ChildError error_at(ChildError::Stage stage, int errnum) { return ChildError{stage, io_error_text(errnum)}; }

}  // namespace

RunningChild::RunningChild(RunningChild&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), pipes_(std::exchange(other.pipes_, std::nullopt)) {}

RunningChild& RunningChild::operator=(RunningChild&& other) noexcept {
  if (this != &other) {
    kill_and_reap();
    pid_ = std::exchange(other.pid_, -1);
    pipes_ = std::exchange(other.pipes_, std::nullopt);
  }
  return *this;
}

RunningChild::~RunningChild() { kill_and_reap(); }

void RunningChild::kill_and_reap() {
  // The pipes go first, so that nothing of the child's is left open here.
  pipes_.reset();
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  (void)reap_child(std::exchange(pid_, -1));
}

Result<RunningChild, ChildError> RunningChild::start(const Program& program, const std::vector<std::string>& args,
                                                     std::optional<std::string_view> input,
                                                     const std::string& working_directory) {
  auto pipes = ChildPipes::make(input);
  if (!pipes) return fail(std::move(pipes).error());
  auto pid = spawn_registered(
      {program, args, nullptr, pipes->child_in(), pipes->child_out(), pipes->child_err(), {}, working_directory});
  if (!pid) return fail(error_at(ChildError::Stage::start, pid.error()));
  pipes->close_child_ends();
  return RunningChild(*pid, std::move(*pipes));
}

Result<ChildExit, ChildError> RunningChild::finish(int cancel_fd) {
  if (pid_ <= 0 || !pipes_) internal_error("a child process was collected twice");
  auto pumped = pipes_->pump(cancel_fd);
  if (!pumped) return fail(std::move(pumped).error());
  pipes_.reset();
  auto reaped = reap_child(std::exchange(pid_, -1));
  if (!reaped) return fail(error_at(ChildError::Stage::collect, reaped.error()));
  return child_exit(*reaped, std::move(*pumped));
}

Result<ChildExit, ChildError> run_child(const Program& program, const std::vector<std::string>& args,
                                        std::optional<std::string_view> input) {
  auto child = RunningChild::start(program, args, input);
  if (!child) return fail(std::move(child).error());
  return child->finish();
}

}  // namespace tersify
