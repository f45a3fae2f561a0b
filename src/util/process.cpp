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

extern char** environ;

namespace tersify {
namespace {

struct Pipe {
  Fd read;
  Fd write;
};

// Moves a descriptor that landed on 0, 1 or 2 (our own standard stream was
// closed) above them, so that the child's dup2 onto its standard streams can
// never meet itself and keep the close-on-exec flag.
bool lift_above_standard_streams(Fd& fd) {
  if (fd.get() > STDERR_FILENO) return true;
  int moved = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (moved < 0) return false;
  fd.reset(moved);
  return true;
}

Result<Pipe, int> make_pipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return fail(errno);
  Pipe pipe{Fd(ends[0]), Fd(ends[1])};
  if (!lift_above_standard_streams(pipe.read) || !lift_above_standard_streams(pipe.write)) return fail(errno);
  return pipe;
}

// posix_spawn attributes and file actions with their destroy calls tied to
// scope.
class SpawnSetup {
 public:
  SpawnSetup() {
    ::posix_spawnattr_init(&attr_);
    ::posix_spawn_file_actions_init(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
  ~SpawnSetup() {
    ::posix_spawn_file_actions_destroy(&actions_);
    ::posix_spawnattr_destroy(&attr_);
  }
  posix_spawnattr_t* attr() { return &attr_; }
  posix_spawn_file_actions_t* actions() { return &actions_; }

 private:
  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
};

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
      in_(std::move(other.in_)),
      out_(std::move(other.out_)),
      err_(std::move(other.err_)),
      pending_(other.pending_) {}

RunningChild& RunningChild::operator=(RunningChild&& other) noexcept {
  if (this != &other) {
    kill_and_reap();
    pid_ = std::exchange(other.pid_, -1);
    in_ = std::move(other.in_);
    out_ = std::move(other.out_);
    err_ = std::move(other.err_);
    pending_ = other.pending_;
  }
  return *this;
}

RunningChild::~RunningChild() { kill_and_reap(); }

namespace {

// Waits for `pid` to end and reaps it. It leaves the registry while it is a
// zombie, when its pid can't have been reused. Gives the wait status or the
// error number.
Result<int, int> reap(pid_t pid) {
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0) {
    if (errno != EINTR) {
      int e = errno;
      unregister_child(pid);
      return fail(e);
    }
  }
  unregister_child(pid);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return fail(errno);
  }
  return status;
}

}  // namespace

void RunningChild::kill_and_reap() {
  // The pipes go first, so that nothing of the child's is left open here.
  in_.reset();
  out_.reset();
  err_.reset();
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  (void)reap(std::exchange(pid_, -1));
}

Result<RunningChild, ChildError> RunningChild::start(const std::string& program, const std::vector<std::string>& args,
                                                     std::optional<std::string_view> input) {
  using Stage = ChildError::Stage;
  Pipe in_pipe;
  if (input) {
    auto made = make_pipe();
    if (!made) return fail(error_at(Stage::start, made.error()));
    in_pipe = std::move(*made);
  }
  auto out_made = make_pipe();
  if (!out_made) return fail(error_at(Stage::start, out_made.error()));
  auto err_made = make_pipe();
  if (!err_made) return fail(error_at(Stage::start, err_made.error()));
  Pipe out_pipe = std::move(*out_made);
  Pipe err_pipe = std::move(*err_made);
  enlarge(out_pipe);
  enlarge(err_pipe);
  if (in_pipe.write.valid() &&
      ::fcntl(in_pipe.write.get(), F_SETFL, ::fcntl(in_pipe.write.get(), F_GETFL) | O_NONBLOCK) != 0) {
    return fail(error_at(Stage::start, errno));
  }

  // Held from the start to the registration, so that a termination signal
  // can't come between them; the child gets the mask from before.
  TerminationSignalsHeld held;
  SpawnSetup setup;
  // Ignored dispositions survive exec; the child gets the default ones back.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGXFSZ);
  ::posix_spawnattr_setsigdefault(setup.attr(), &defaults);
  ::posix_spawnattr_setsigmask(setup.attr(), &held.previous());
  ::posix_spawnattr_setflags(setup.attr(), POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  if (input) {
    ::posix_spawn_file_actions_adddup2(setup.actions(), in_pipe.read.get(), STDIN_FILENO);
  } else {
    ::posix_spawn_file_actions_addopen(setup.actions(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  ::posix_spawn_file_actions_adddup2(setup.actions(), out_pipe.write.get(), STDOUT_FILENO);
  ::posix_spawn_file_actions_adddup2(setup.actions(), err_pipe.write.get(), STDERR_FILENO);

  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  pid_t pid = -1;
  int spawned = ::posix_spawnp(&pid, program.c_str(), setup.actions(), setup.attr(), argv.data(), environ);
  if (spawned != 0) return fail(error_at(Stage::start, spawned));
  register_child(pid);

  RunningChild child;
  child.pid_ = pid;
  // Only the child may hold these ends, or the pipes never report their end.
  in_pipe.read.reset();
  out_pipe.write.reset();
  err_pipe.write.reset();
  child.in_ = std::move(in_pipe.write);
  child.out_ = std::move(out_pipe.read);
  child.err_ = std::move(err_pipe.read);
  child.pending_ = input.value_or(std::string_view());
  if (child.pending_.empty()) child.in_.reset();
  return child;
}

Result<ChildExit, ChildError> RunningChild::finish(int cancel_fd) {
  using Stage = ChildError::Stage;
  if (pid_ <= 0) internal_error("a child process was collected twice");
  ChildExit result;
  std::optional<ChildError> write_failure;
  // A failure leaves the child to the destructor, which kills and reaps it.
  while (in_.valid() || out_.valid() || err_.valid()) {
    if (auto failed = pump_once(in_, pending_, out_, err_, result, cancel_fd, write_failure)) {
      return fail(std::move(*failed));
    }
  }
  auto status = reap(std::exchange(pid_, -1));
  if (!status) return fail(error_at(Stage::collect, status.error()));
  if (WIFEXITED(*status)) {
    result.code = WEXITSTATUS(*status);
  } else if (WIFSIGNALED(*status)) {
    result.signal = WTERMSIG(*status);
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
