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
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <utility>

#include "util/child_registry.h"
#include "util/fatal.h"
#include "util/fd.h"
#include "util/fs.h"
#include "util/io_error.h"
#include "util/program_path.h"
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

void ignore_write_signals() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

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

namespace {

// Everything the child needs, made before the fork: between fork and exec
// the child may only make async-signal-safe calls (other threads may have
// held the allocator's lock at the fork).
struct ExecPlan {
  std::string file;
  std::vector<char*> argv;
  std::vector<char*> envp;
  int streams[3];  // for standard input, output and error
  const std::vector<int>* inherited;
  const char* directory;  // none: ours
  bool die_with_parent;
  pid_t parent;
  const sigset_t* mask;
  int report_fd;  // close-on-exec: gets the errno of a failed start
};

[[noreturn]] void become_child(const ExecPlan& plan) {
  int e = 0;
  // The death signal comes when the thread that forked ends; a parent gone
  // before it was set would never send it.
  if (plan.die_with_parent) {
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) {
      e = errno;
    } else if (::getppid() != plan.parent) {
      ::_exit(127);
    }
  }
  // Our handlers must not run here; ignored write signals survive exec and
  // go back to their defaults. A signal the caller ignores stays ignored.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  for (int signal_number : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) {
    struct sigaction old {};
    if (::sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
      ::sigaction(signal_number, &fallback, nullptr);
    }
  }
  ::sigaction(SIGPIPE, &fallback, nullptr);
  ::sigaction(SIGXFSZ, &fallback, nullptr);
  for (int target = 0; e == 0 && target < 3; ++target) {
    if (::dup2(plan.streams[target], target) < 0) e = errno;
  }
  for (std::size_t i = 0; e == 0 && i < plan.inherited->size(); ++i) {
    if (::fcntl((*plan.inherited)[i], F_SETFD, 0) != 0) e = errno;
  }
  if (e == 0 && plan.directory != nullptr && ::chdir(plan.directory) != 0) e = errno;
  if (e == 0) {
    ::pthread_sigmask(SIG_SETMASK, plan.mask, nullptr);
    ::execve(plan.file.c_str(), plan.argv.data(), plan.envp.data());
    e = errno;
  }
  ssize_t written = ::write(plan.report_fd, &e, sizeof e);
  (void)written;
  ::_exit(127);
}

std::vector<char*> c_strings(const std::vector<std::string>& strings, const std::string* first) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 2);
  if (first != nullptr) pointers.push_back(const_cast<char*>(first->c_str()));
  for (const auto& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

Result<pid_t, int> spawn_registered(const SpawnRequest& request) {
  // Found here as execvp would find it: the child can't search safely.
  auto file = find_program_on_path(request.program);
  if (!file) return fail(file.error());
  // The child changes folder before its exec: a file found through a
  // relative PATH entry is named from ours.
  if (!request.working_directory.empty() && !file->starts_with('/')) {
    auto absolute = canonical_path(*file);
    if (!absolute) return fail(ENOENT);
    file = std::move(*absolute);
  }
  Fd null_in(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  Fd null_out(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  if (!null_in.valid() || !null_out.valid() || !lift_above_standard_streams(null_in) ||
      !lift_above_standard_streams(null_out)) {
    return fail(errno);
  }
  auto report = make_pipe();
  if (!report) return fail(report.error());

  ExecPlan plan{std::move(*file),
                c_strings(request.args, &request.program),
                {},
                {request.in >= 0 ? request.in : null_in.get(), request.out >= 0 ? request.out : null_out.get(),
                 request.err >= 0 ? request.err : null_out.get()},
                &request.inherited,
                request.working_directory.empty() ? nullptr : request.working_directory.c_str(),
                request.die_with_parent,
                ::getpid(),
                nullptr,
                report->write.get()};
  if (request.environment != nullptr) {
    plan.envp = c_strings(*request.environment, nullptr);
  } else {
    for (char** entry = environ; *entry != nullptr; ++entry) plan.envp.push_back(*entry);
    plan.envp.push_back(nullptr);
  }

  // From the start to the registration no termination signal can come in
  // between; the child gets the signal mask from before.
  TerminationHold held;
  if (held.ending()) return fail(EINTR);
  plan.mask = &held.previous();
  pid_t pid = ::fork();
  if (pid < 0) return fail(errno);
  if (pid == 0) become_child(plan);
  register_child(pid);

  report->write.reset();
  int e = 0;
  ssize_t n;
  do {
    n = ::read(report->read.get(), &e, sizeof e);
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(sizeof e)) {
    (void)reap_child(pid);
    return fail(e);
  }
  return pid;
}

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

Result<RunningChild, ChildError> RunningChild::start(const std::string& program, const std::vector<std::string>& args,
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

Result<ChildExit, ChildError> run_child(const std::string& program, const std::vector<std::string>& args,
                                        std::optional<std::string_view> input) {
  auto child = RunningChild::start(program, args, input);
  if (!child) return fail(std::move(child).error());
  return child->finish();
}

}  // namespace tersify
