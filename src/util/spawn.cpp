#include "util/spawn.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <utility>

#include "util/child_registry.h"
#include "util/fd.h"
#include "util/fs.h"
#include "util/program_path.h"
#include "util/spawn_setup.h"

extern char** environ;

namespace tersify {

void ignore_write_signals() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
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
  auto file = request.program.find();
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
                c_strings(request.args, &request.program.name),
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

}  // namespace tersify
