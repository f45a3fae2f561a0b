// Child processes without a shell and without deadlocks.
//
// The parent's pipe ends are close-on-exec, so a child holds only its own
// three standard streams. Standard input is fed through a non-blocking pipe
// end inside the same poll loop that drains standard output and standard
// error: a child that answers while it still reads (cat, for one) can then
// never fill a pipe that nobody empties. Once the input is written the pipe is
// closed so that the child sees the end of it; the loop runs until both output
// pipes are closed, and only then is the child waited for.

#include "util/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "util/fd.h"
#include "util/io_error.h"

extern char** environ;

namespace tersify {
namespace {

// Owns a started child until it has been waited for. Destroying an owner that
// still holds a child reaps it, so no early return leaves a zombie; abandon()
// gives the child up on purpose.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (pid_ > 0) (void)wait();
  }

  void adopt(pid_t pid) { pid_ = pid; }
  void abandon() { pid_ = -1; }

  // waitpid, retried when a signal interrupts it. Gives the wait status, or
  // the error number.
  Result<int, int> wait() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      pid_ = -1;
      return fail(e);
    }
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_ = -1;
};

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

}  // namespace

void ignore_write_signals() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

Result<ChildExit, ChildError> run_child(const std::string& program, const std::vector<std::string>& args,
                                        std::optional<std::string_view> input) {
  using Stage = ChildError::Stage;
  // Declared before the pipes so that on every early return the pipes close
  // first (the child sees end-of-file or EPIPE) and only then is it reaped.
  ChildProcess child;

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
  child.adopt(pid);

  // Only the child may hold these ends, or the pipes never report their end.
  in_pipe.read.reset();
  out_pipe.write.reset();
  err_pipe.write.reset();

  std::string_view pending = input.value_or(std::string_view());
  Fd& in = in_pipe.write;
  if (in.valid()) {
    if (pending.empty()) {
      in.reset();
    } else if (::fcntl(in.get(), F_SETFL, ::fcntl(in.get(), F_GETFL) | O_NONBLOCK) != 0) {
      int e = errno;
      child.abandon();
      return fail(error_at(Stage::write, e));
    }
  }

  ChildExit result;
  Fd& out = out_pipe.read;
  Fd& err = err_pipe.read;
  while (in.valid() || out.valid() || err.valid()) {
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
    if (::poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      return fail(error_at(Stage::collect, errno));
    }

    if (in_slot >= 0 && fds[in_slot].revents != 0) {
      // POLLERR alone means the reader is gone; the write below reports it.
      ssize_t n = ::write(in.get(), pending.data(), pending.size());
      if (n < 0 && errno != EINTR && errno != EAGAIN) {
        int e = errno;
        // The caller ends the run; the child is left to run out on its own.
        child.abandon();
        return fail(error_at(Stage::write, e));
      }
      if (n == 0) {
        child.abandon();
        return fail(ChildError{Stage::write, "failed to write whole buffer"});
      }
      if (n > 0) pending.remove_prefix(static_cast<size_t>(n));
      if (pending.empty()) in.reset();  // the child sees the end of its input
    }
    if (out_slot >= 0 && fds[out_slot].revents != 0) {
      if (int e = drain_once(out, result.out); e != 0) return fail(error_at(Stage::collect, e));
    }
    if (err_slot >= 0 && fds[err_slot].revents != 0) {
      if (int e = drain_once(err, result.err); e != 0) return fail(error_at(Stage::collect, e));
    }
  }

  auto waited = child.wait();
  if (!waited) return fail(error_at(Stage::collect, waited.error()));
  int status = *waited;
  if (WIFEXITED(status)) {
    result.code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

}  // namespace tersify
