#include "util/child_registry.h"

#include <pthread.h>
#include <sys/wait.h>
#include <time.h>

#include <array>
#include <atomic>
#include <cerrno>

#include "util/temp_file_registry.h"

namespace tersify {
namespace {

// Lock-free slots: a signal handler may read them at any moment, in any
// thread. Zero marks a free slot.
std::array<std::atomic<pid_t>, 1024> children{};

constexpr int termination_signals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// A handler sets `process_ending` and then waits for the open windows; a window is
// opened and then looks at `process_ending`. With sequentially consistent order, a
// child is either started in a window the handler waits for, or not at all.
std::atomic<bool> process_ending{false};
std::atomic<int> open_windows{0};

// How long a handler waits for the open windows. A window may need a lock
// that the thread the signal interrupted holds (fork() takes malloc's locks),
// and then it can't close while the handler waits; past this the handler
// acts anyway. A child started meanwhile dies with the process through its
// parent-death signal, and an in-place write cut short is put back by the
// next run (util/in_place_write.h).
constexpr long window_wait_nanoseconds = 5'000'000'000;

long nanoseconds_since(const timespec& start) {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return (now.tv_sec - start.tv_sec) * 1'000'000'000L + (now.tv_nsec - start.tv_nsec);
}

void on_termination(int signal_number) {
  process_ending.store(true);
  timespec start{};
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  while (open_windows.load() > 0 && nanoseconds_since(start) < window_wait_nanoseconds) {
    timespec pause{0, 100'000};
    ::nanosleep(&pause, nullptr);
  }
  kill_registered_children();
  remove_noted_temp_files();
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(signal_number, &fallback, nullptr);
  // The signal is held while its handler runs; raised again, it takes effect
  // with the default action as the handler returns.
  ::raise(signal_number);
}

}  // namespace

void register_child(pid_t pid) {
  for (auto& slot : children) {
    pid_t expected = 0;
    if (slot.compare_exchange_strong(expected, pid)) return;
  }
}

void unregister_child(pid_t pid) {
  for (auto& slot : children) {
    pid_t expected = pid;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

Result<int, int> reap_child(pid_t pid) {
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

void kill_registered_children() {
  for (auto& slot : children) {
    pid_t pid = slot.load();
    if (pid > 0) ::kill(pid, SIGKILL);
  }
}

void end_children_with_the_process() {
  struct sigaction action {};
  action.sa_handler = on_termination;
  sigemptyset(&action.sa_mask);
  for (int signal_number : termination_signals) {
    // A signal the caller ignores (nohup) stays ignored.
    struct sigaction old {};
    if (::sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(signal_number, &action, nullptr);
  }
}

TerminationHold::TerminationHold() {
  sigset_t held;
  sigemptyset(&held);
  for (int signal_number : termination_signals) sigaddset(&held, signal_number);
  ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
  open_windows.fetch_add(1);
}

TerminationHold::~TerminationHold() {
  open_windows.fetch_sub(1);
  ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

bool TerminationHold::ending() const { return process_ending.load(); }

}  // namespace tersify
