// The parent's pipe ends are close-on-exec, so a child holds only its own
// three standard streams. Standard input is fed through a non-blocking pipe
// end inside the same poll loop that drains standard output and standard
// error: a child that answers while it still reads (cat, for one) can then
// never fill a pipe that nobody empties. Once the input is written the pipe is
// closed so that the child sees the end of it. The loop runs until both
// output pipes are closed; only then is the child waited for.

#include "util/child_pipes.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "util/io_error.h"
#include "util/spawn_setup.h"

namespace tersify {
namespace {

ChildError error_at(ChildError::Stage stage, int errnum) { return ChildError{stage, io_error_text(errnum)}; }

// One read of what poll reported on `fd`, appended to `sink`; closes `fd` at
// the end of the stream. A second read could block while the child waits on
// another pipe, so the loop goes back to poll after each one. Gives 0 or the
// error number.
int drain_once(Fd& fd, std::string& sink) {
  char buffer[65536];
  ssize_t n;
  do {
    n = ::read(fd.get(), buffer, sizeof buffer);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return errno;
  if (n == 0) {
    fd.reset();
  } else {
    sink.append(buffer, static_cast<size_t>(n));
  }
  return 0;
}

// Asks for larger pipe buffers on the output pipes; the kernel's limit for
// unprivileged processes (fs.pipe-max-size) is 1 MiB by default. A refusal
// only costs overlap, so it is ignored.
void enlarge(const Pipe& pipe) {
  for (int size : {1 << 20, 256 << 10}) {
    if (::fcntl(pipe.read.get(), F_SETPIPE_SZ, size) >= 0) return;
  }
}

// One poll round over the pipes still open and `cancel_fd`: writes what
// standard input takes of `pending` (closing it when all is written, or when
// a write fails: then `write_failure` is set) and reads once from each output
// pipe with data. Gives none or the failure that ends the collection.
std::optional<ChildError> pump_once(Fd& in, std::string_view& pending, Fd& out, Fd& err, PumpedOutput& sink,
                                    int cancel_fd) {
  using Stage = ChildError::Stage;
  pollfd fds[4];
  nfds_t count = 0;
  auto watch = [&](int fd, short events) {
    if (fd < 0) return -1;
    fds[count] = {fd, events, 0};
    return static_cast<int>(count++);
  };
  int in_slot = watch(in.get(), POLLOUT);
  int out_slot = watch(out.get(), POLLIN);
  int err_slot = watch(err.get(), POLLIN);
  int cancel_slot = watch(cancel_fd, POLLIN);
  if (::poll(fds, count, -1) < 0) {
    if (errno == EINTR) return std::nullopt;
    return error_at(Stage::collect, errno);
  }
  if (cancel_slot >= 0 && fds[cancel_slot].revents != 0) return ChildError{Stage::cancelled, "cancelled"};

  if (in_slot >= 0 && fds[in_slot].revents != 0) {
    // POLLERR alone means the reader is gone; the write below reports it.
    ssize_t n = ::write(in.get(), pending.data(), pending.size());
    if (n < 0 && errno != EINTR && errno != EAGAIN) {
      sink.write_failure = error_at(Stage::write, errno);
      in.reset();
    } else if (n == 0) {
      sink.write_failure = ChildError{Stage::write, "failed to write whole buffer"};
      in.reset();
    } else if (n > 0) {
      pending.remove_prefix(static_cast<size_t>(n));
      if (pending.empty()) in.reset();  // the child sees the end of its input
    }
  }
  if (out_slot >= 0 && fds[out_slot].revents != 0) {
    if (int e = drain_once(out, sink.out); e != 0) return error_at(Stage::collect, e);
  }
  if (err_slot >= 0 && fds[err_slot].revents != 0) {
    if (int e = drain_once(err, sink.err); e != 0) return error_at(Stage::collect, e);
  }
  return std::nullopt;
}

}  // namespace

Result<ChildPipes, ChildError> ChildPipes::make(std::optional<std::string_view> input) {
  using Stage = ChildError::Stage;
  ChildPipes pipes;
  if (input) {
    auto made = make_pipe();
    if (!made) return fail(error_at(Stage::start, made.error()));
    if (::fcntl(made->write.get(), F_SETFL, ::fcntl(made->write.get(), F_GETFL) | O_NONBLOCK) != 0) {
      return fail(error_at(Stage::start, errno));
    }
    pipes.child_in_ = std::move(made->read);
    pipes.in_ = std::move(made->write);
    pipes.pending_ = *input;
  }
  for (auto [child_end, our_end] : {std::pair{&pipes.child_out_, &pipes.out_}, {&pipes.child_err_, &pipes.err_}}) {
    auto made = make_pipe();
    if (!made) return fail(error_at(Stage::start, made.error()));
    enlarge(*made);
    *child_end = std::move(made->write);
    *our_end = std::move(made->read);
  }
  return pipes;
}

void ChildPipes::close_child_ends() {
  child_in_.reset();
  child_out_.reset();
  child_err_.reset();
  // Nothing to write: the child sees the end of its input at once.
  if (pending_.empty()) in_.reset();
}

void ChildPipes::close() {
  close_child_ends();
  in_.reset();
  out_.reset();
  err_.reset();
}

Result<PumpedOutput, ChildError> ChildPipes::pump(int cancel_fd) {
  PumpedOutput pumped;
  while (in_.valid() || out_.valid() || err_.valid()) {
    if (auto failed = pump_once(in_, pending_, out_, err_, pumped, cancel_fd)) return fail(std::move(*failed));
  }
  return pumped;
}

Result<ChildExit, ChildError> child_exit(int wait_status, PumpedOutput pumped) {
  ChildExit result{std::move(pumped.out), std::move(pumped.err), std::nullopt, std::nullopt};
  if (WIFEXITED(wait_status)) {
    result.code = WEXITSTATUS(wait_status);
  } else if (WIFSIGNALED(wait_status)) {
    result.signal = WTERMSIG(wait_status);
  }
  if (pumped.write_failure && result.success()) return fail(std::move(*pumped.write_failure));
  return result;
}

}  // namespace tersify
