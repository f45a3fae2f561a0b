#pragma once
// A run of a fork server's program on pipes: the served twin of
// RunningChild. The pipes are pumped the same way; the run's end and status
// come from the server's report instead of a wait for a pid of our own.

#include <optional>
#include <string>
#include <string_view>

#include "fork_server/fork_server.h"
#include "util/child_pipes.h"
#include "util/result.h"

namespace tersify {

struct ServedRunError {
  // The server could not take or finish the run: the program has given no
  // result, and a plain start is the answer.
  bool server_lost = false;
  ChildError error;
};

class ServedRun {
 public:
  // Hands `server` a run with new pipes in `working_directory` (empty:
  // ours); `input` and the folder as for RunningChild::start.
  static Result<ServedRun, ServedRunError> start(ForkServer& server, std::optional<std::string_view> input,
                                                 const std::string& working_directory = {});

  // Pumps the pipes, then waits for the server's report of the run. Called
  // once. Destroying an unfinished run makes the server kill it.
  Result<ChildExit, ServedRunError> finish(int cancel_fd = -1);

 private:
  ServedRun(ServedChild child, ChildPipes pipes) : child_(std::move(child)), pipes_(std::move(pipes)) {}
  ServedChild child_;
  ChildPipes pipes_;
};

}  // namespace tersify
