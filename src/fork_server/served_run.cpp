#include "fork_server/served_run.h"

#include <fcntl.h>

#include <cerrno>

#include "util/io_error.h"

namespace tersify {
namespace {

ServedRunError child_error(ChildError error) { return {false, std::move(error)}; }

ServedRunError lost(std::string message) { return {true, {ChildError::Stage::collect, std::move(message)}}; }

}  // namespace

Result<ServedRun, ServedRunError> ServedRun::start(ForkServer& server, const std::vector<std::string>& args,
                                                   std::optional<std::string_view> input,
                                                   const std::string& working_directory) {
  if (!ForkServer::takes(args)) {
    return fail(child_error({ChildError::Stage::start, "too many or too long arguments for a served run"}));
  }
  auto pipes = ChildPipes::make(input);
  if (!pipes) return fail(child_error(std::move(pipes).error()));
  // The server needs a descriptor for every stream; a plain start opens the
  // null device in the child instead.
  Fd null_input;
  if (pipes->child_in() < 0) {
    null_input.reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!null_input.valid()) return fail(child_error({ChildError::Stage::start, io_error_text(errno)}));
  }
  int in = pipes->child_in() >= 0 ? pipes->child_in() : null_input.get();
  Fd folder(::open(working_directory.empty() ? "." : working_directory.c_str(),
                   O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return fail(child_error({ChildError::Stage::start, io_error_text(errno)}));
  auto child = server.spawn(args, in, pipes->child_out(), pipes->child_err(), folder.get());
  if (!child) return fail(lost(std::move(child).error()));
  pipes->close_child_ends();
  return ServedRun(std::move(*child), std::move(*pipes));
}

Result<ChildExit, ServedRunError> ServedRun::finish(int cancel_fd) {
  auto pumped = pipes_.pump(cancel_fd);
  if (!pumped) return fail(child_error(std::move(pumped).error()));
  pipes_.close();
  auto status = child_.wait(cancel_fd);
  if (!status) {
    auto error = std::move(status).error();
    if (error.kind == ServedError::Kind::cancelled) return fail(child_error({ChildError::Stage::cancelled, "cancelled"}));
    return fail(lost(std::move(error.message)));
  }
  auto exit = child_exit(*status, std::move(*pumped));
  if (!exit) return fail(child_error(std::move(exit).error()));
  return std::move(*exit);
}

}  // namespace tersify
