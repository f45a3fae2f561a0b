#pragma once
// The processes this one has started and not yet reaped, kept where a signal
// handler can reach them: whatever way the process ends (a fatal signal, an
// internal error), it takes its children with it.

#include <signal.h>
#include <sys/types.h>

#include "util/result.h"

namespace tersify {

// Notes a started child. Best effort: past a fixed number of children that
// are alive at once (far more than a run starts), later ones go unnoted.
void register_child(pid_t pid);
// Forgets a child; called before it is reaped, while its pid can't be reused.
void unregister_child(pid_t pid);
// Waits for the noted child `pid` to end and reaps it; it leaves the registry
// while it is a zombie, whose pid can't have been reused. Gives the wait
// status or the error number.
Result<int, int> reap_child(pid_t pid);
// Sends SIGKILL to every noted child. Async-signal-safe.
void kill_registered_children();

// On SIGHUP, SIGINT, SIGQUIT and SIGTERM, noted children are killed, then
// the process ends by the same signal, with its default action.
void end_children_with_the_process();

// Brackets the start of a child up to its registration. The signals above
// are held in this thread meanwhile, and a handler running in another thread
// waits until the window closes before it kills, so no child can be started
// and missed. Children must start with `previous()` as their signal mask.
class ChildStartWindow {
 public:
  ChildStartWindow();
  ~ChildStartWindow();
  ChildStartWindow(const ChildStartWindow&) = delete;
  ChildStartWindow& operator=(const ChildStartWindow&) = delete;

  // True when the process is already being ended by a signal: start nothing.
  bool ending() const;
  const sigset_t& previous() const { return previous_; }

 private:
  sigset_t previous_;
};

}  // namespace tersify
