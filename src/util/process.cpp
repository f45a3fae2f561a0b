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

// One poll round over the pipes still open, waiting up to `timeout_ms` (-1:
// without limit): writes what standard input takes of `pending` (closing it
// when all is written) and reads once from each output pipe with data. Sets
// `any_ready` when some pipe was ready. Gives none or the failure.
std::optional<ChildError> pump_once(Fd& in, std::string_view& pending, Fd& out, Fd& err, ChildExit& sink,
                                    int timeout_ms, bool& any_ready) {
  using Stage = ChildError::Stage;
  pollfd fds[3];
  nfds_t count = 0;
  int in_slot = -1, out_slot = -1, err_slot = -1;
  if (in.valid()) {
    in_slot = static_cast<int>(count);
    fds[count++] = {in.get(), POLLOUT, 0};
  }
  if (out.valid()) {
    out_slot = static_cast<int>(count);
    fds[count++] = {out.get(), POLLIN, 0};
  }
  if (err.valid()) {
    err_slot = static_cast<int>(count);
    fds[count++] = {err.get(), POLLIN, 0};
  }
  int ready = ::poll(fds, count, timeout_ms);
  if (ready < 0) {
    if (errno == EINTR) return std::nullopt;
    return error_at(Stage::collect, errno);
  }
  any_ready = ready > 0;

  if (in_slot >= 0 && fds[in_slot].revents != 0) {
    // POLLERR alone means the reader is gone; the write below reports it.
    ssize_t n = ::write(in.get(), pending.data(), pending.size());
    if (n < 0 && errno != EINTR && errno != EAGAIN) return error_at(Stage::write, errno);
    if (n == 0) return ChildError{Stage::write, "failed to write whole buffer"};
    if (n > 0) pending.remove_prefix(static_cast<size_t>(n));
    if (pending.empty()) in.reset();  // the child sees the end of its input
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
      out_(std::move(other.out_)),
      err_(std::move(other.err_)),
      collected_(std::move(other.collected_)),
      failure_(std::move(other.failure_)) {}

RunningChild& RunningChild::operator=(RunningChild&& other) noexcept {
  if (this != &other) {
    kill_and_reap();
    pid_ = std::exchange(other.pid_, -1);
    out_ = std::move(other.out_);
    err_ = std::move(other.err_);
    collected_ = std::move(other.collected_);
    failure_ = std::move(other.failure_);
  }
  return *this;
}

RunningChild::~RunningChild() { kill_and_reap(); }

void RunningChild::kill_and_reap() {
  // The pipes go first, so that nothing of the child's is left open here.
  out_.reset();
  err_.reset();
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

Result<RunningChild, ChildError> RunningChild::start(const std::string& program,
                                                     const std::vector<std::string>& args,
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

  SpawnSetup setup;
  // Ignored dispositions survive exec; the child gets the default ones back.
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGXFSZ);
  ::posix_spawnattr_setsigdefault(setup.attr(), &defaults);
  ::posix_spawnattr_setflags(setup.attr(), POSIX_SPAWN_SETSIGDEF);
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

  RunningChild child;
  child.pid_ = pid;
  // Only the child may hold these ends, or the pipes never report their end.
  in_pipe.read.reset();
  out_pipe.write.reset();
  err_pipe.write.reset();
  child.out_ = std::move(out_pipe.read);
  child.err_ = std::move(err_pipe.read);

  std::string_view pending = input.value_or(std::string_view());
  Fd& in = in_pipe.write;
  if (in.valid()) {
    if (pending.empty()) {
      in.reset();
    } else if (::fcntl(in.get(), F_SETFL, ::fcntl(in.get(), F_GETFL) | O_NONBLOCK) != 0) {
      int e = errno;
      child.pid_ = -1;  // as for any write failure below
      return fail(error_at(Stage::write, e));
    }
  }
  while (in.valid()) {
    bool any_ready = false;
    if (auto failed = pump_once(in, pending, child.out_, child.err_, child.collected_, -1, any_ready)) {
      // On a write failure the caller ends the run; the child is left to run
      // out on its own. Its pipes close as `child` goes.
      if (failed->stage == Stage::write) child.pid_ = -1;
      return fail(std::move(*failed));
    }
  }
  return child;
}

bool RunningChild::poll_done() {
  if (pid_ <= 0) internal_error("a collected child process was polled");
  Fd no_input;
  std::string_view nothing;
  while (!failure_ && (out_.valid() || err_.valid())) {
    bool any_ready = false;
    // A failure waits for finish(), which reports it.
    failure_ = pump_once(no_input, nothing, out_, err_, collected_, 0, any_ready);
    if (!any_ready && !failure_) return false;
  }
  return true;
}

Result<ChildExit, ChildError> RunningChild::finish() {
  using Stage = ChildError::Stage;
  if (pid_ <= 0) internal_error("a child process was collected twice");
  Fd no_input;
  std::string_view nothing;
  // A failure leaves the child to the destructor, which kills and reaps it.
  if (failure_) return fail(*std::exchange(failure_, std::nullopt));
  while (out_.valid() || err_.valid()) {
    bool any_ready = false;
    if (auto failed = pump_once(no_input, nothing, out_, err_, collected_, -1, any_ready)) {
      return fail(std::move(*failed));
    }
  }
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0) {
    if (errno == EINTR) continue;
    int e = errno;
    pid_ = -1;
    return fail(error_at(Stage::collect, e));
  }
  pid_ = -1;
  ChildExit result = std::move(collected_);
  if (WIFEXITED(status)) {
    result.code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

Result<ChildExit, ChildError> run_child(const std::string& program, const std::vector<std::string>& args,
                                        std::optional<std::string_view> input) {
  auto child = RunningChild::start(program, args, input);
  if (!child) return fail(std::move(child).error());
  return child->finish();
}

}  // namespace tersify
