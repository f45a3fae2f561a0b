// Child processes without a shell and without deadlocks.
//
// The parent's pipe ends are close-on-exec, so a child holds only its own
// three standard streams. Standard input is fed through a non-blocking pipe
// end inside the same poll loop that drains standard output and standard
// error: a child that answers while it still reads (cat, for one) can then
// never fill a pipe that nobody empties. Once the input is written the pipe is
// closed so that the child sees the end of it. Collecting runs the same loop
// until both output pipes are closed, and only then is the child waited for.
// Between the two the child keeps running while the caller works; enlarged
// output pipes let it write its whole output in that time.

#include "util/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <utility>

#include "util/child_registry.h"
#include "util/fatal.h"
#include "util/fd.h"
#include "util/io_error.h"
#include "util/spawn_setup.h"

extern char** environ;

namespace tersify {
namespace {

struct Pipe {
  Fd read;
  Fd write;
};

Result<Pipe, int> make_pipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return fail(errno);
  Pipe pipe{Fd(ends[0]), Fd(ends[1])};
  if (!lift_above_standard_streams(pipe.read) || !lift_above_standard_streams(pipe.write)) return fail(errno);
  return pipe;
}

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
std::optional<ChildError> pump_once(Fd& in, std::string_view& pending, Fd& out, Fd& err, ChildExit& sink, int cancel_fd,
                                    std::optional<ChildError>& write_failure) {
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
      write_failure = error_at(Stage::write, errno);
      in.reset();
    } else if (n == 0) {
      write_failure = ChildError{Stage::write, "failed to write whole buffer"};
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

void ignore_write_signals() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

RunningChild::RunningChild(RunningChild&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      served_(std::exchange(other.served_, std::nullopt)),
      in_(std::move(other.in_)),
      out_(std::move(other.out_)),
      err_(std::move(other.err_)),
      pending_(other.pending_) {}

RunningChild& RunningChild::operator=(RunningChild&& other) noexcept {
  if (this != &other) {
    kill_and_reap();
    pid_ = std::exchange(other.pid_, -1);
    served_ = std::exchange(other.served_, std::nullopt);
    in_ = std::move(other.in_);
    out_ = std::move(other.out_);
    err_ = std::move(other.err_);
    pending_ = other.pending_;
  }
  return *this;
}

RunningChild::~RunningChild() { kill_and_reap(); }

void RunningChild::kill_and_reap() {
  // The pipes go first, so that nothing of the child's is left open here.
  in_.reset();
  out_.reset();
  err_.reset();
  // A served run is killed by its server once its channel closes.
  served_.reset();
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  (void)reap_child(std::exchange(pid_, -1));
}

namespace {

// The three pipes of a child: our ends and the child's.
struct ChildPipes {
  Pipe in;  // none when standard input is the null device
  Pipe out;
  Pipe err;
};

Result<ChildPipes, ChildError> make_child_pipes(bool with_input) {
  using Stage = ChildError::Stage;
  ChildPipes pipes;
  if (with_input) {
    auto made = make_pipe();
    if (!made) return fail(error_at(Stage::start, made.error()));
    pipes.in = std::move(*made);
    if (::fcntl(pipes.in.write.get(), F_SETFL, ::fcntl(pipes.in.write.get(), F_GETFL) | O_NONBLOCK) != 0) {
      return fail(error_at(Stage::start, errno));
    }
  }
  auto out = make_pipe();
  if (!out) return fail(error_at(Stage::start, out.error()));
  auto err = make_pipe();
  if (!err) return fail(error_at(Stage::start, err.error()));
  pipes.out = std::move(*out);
  pipes.err = std::move(*err);
  enlarge(pipes.out);
  enlarge(pipes.err);
  return pipes;
}

// Our end of a pipe once the child has its own: only the child may hold
// that, or the pipe never reports its end.
Fd writing_end(Pipe& pipe) {
  pipe.read.reset();
  return std::move(pipe.write);
}
Fd reading_end(Pipe& pipe) {
  pipe.write.reset();
  return std::move(pipe.read);
}

}  // namespace

void RunningChild::take_pipes(Fd in, Fd out, Fd err, std::optional<std::string_view> input) {
  in_ = std::move(in);
  out_ = std::move(out);
  err_ = std::move(err);
  pending_ = input.value_or(std::string_view());
  if (pending_.empty()) in_.reset();
}

Result<RunningChild, ChildError> RunningChild::start(const std::string& program, const std::vector<std::string>& args,
                                                     std::optional<std::string_view> input) {
  auto pipes = make_child_pipes(input.has_value());
  if (!pipes) return fail(std::move(pipes).error());

  // From the start to the registration no termination signal can come in
  // between; the child gets the signal mask from before.
  ChildStartWindow held;
  if (held.ending()) return fail(error_at(ChildError::Stage::start, EINTR));
  SpawnSetup setup;
  setup.default_write_signals(POSIX_SPAWN_SETSIGMASK);
  ::posix_spawnattr_setsigmask(setup.attr(), &held.previous());
  if (input) {
    ::posix_spawn_file_actions_adddup2(setup.actions(), pipes->in.read.get(), STDIN_FILENO);
  } else {
    ::posix_spawn_file_actions_addopen(setup.actions(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  ::posix_spawn_file_actions_adddup2(setup.actions(), pipes->out.write.get(), STDOUT_FILENO);
  ::posix_spawn_file_actions_adddup2(setup.actions(), pipes->err.write.get(), STDERR_FILENO);

  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  pid_t pid = -1;
  int spawned = ::posix_spawnp(&pid, program.c_str(), setup.actions(), setup.attr(), argv.data(), environ);
  if (spawned != 0) return fail(error_at(ChildError::Stage::start, spawned));
  register_child(pid);

  RunningChild child;
  child.pid_ = pid;
  child.take_pipes(writing_end(pipes->in), reading_end(pipes->out), reading_end(pipes->err), input);
  return child;
}

Result<RunningChild, ChildError> RunningChild::start_served(ForkServer& server, std::optional<std::string_view> input) {
  auto pipes = make_child_pipes(input.has_value());
  if (!pipes) return fail(std::move(pipes).error());
  Fd null_input;
  if (!input) {
    null_input.reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!null_input.valid()) return fail(error_at(ChildError::Stage::start, errno));
  }
  int in = input ? pipes->in.read.get() : null_input.get();
  auto served = server.spawn(in, pipes->out.write.get(), pipes->err.write.get());
  if (!served) return fail(ChildError{ChildError::Stage::server, std::move(served).error()});

  RunningChild child;
  child.served_ = std::move(*served);
  child.take_pipes(writing_end(pipes->in), reading_end(pipes->out), reading_end(pipes->err), input);
  return child;
}

Result<ChildExit, ChildError> RunningChild::finish(int cancel_fd) {
  using Stage = ChildError::Stage;
  if (pid_ <= 0 && !served_) internal_error("a child process was collected twice");
  ChildExit result;
  std::optional<ChildError> write_failure;
  // A failure leaves the child to the destructor, which kills and reaps it.
  while (in_.valid() || out_.valid() || err_.valid()) {
    if (auto failed = pump_once(in_, pending_, out_, err_, result, cancel_fd, write_failure)) {
      return fail(std::move(*failed));
    }
  }
  int status = 0;
  if (served_) {
    auto served = served_->wait(cancel_fd);
    if (!served) {
      auto error = std::move(served).error();
      if (error.kind == ServedError::Kind::cancelled) return fail(ChildError{Stage::cancelled, "cancelled"});
      served_.reset();
      return fail(ChildError{Stage::server, std::move(error.message)});
    }
    served_.reset();
    status = *served;
  } else {
    auto reaped = reap_child(std::exchange(pid_, -1));
    if (!reaped) return fail(error_at(Stage::collect, reaped.error()));
    status = *reaped;
  }
  if (WIFEXITED(status)) {
    result.code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  if (write_failure && result.success()) return fail(std::move(*write_failure));
  return result;
}

Result<ChildExit, ChildError> run_child(const std::string& program, const std::vector<std::string>& args,
                                        std::optional<std::string_view> input) {
  auto child = RunningChild::start(program, args, input);
  if (!child) return fail(std::move(child).error());
  return child->finish();
}

}  // namespace tersify
