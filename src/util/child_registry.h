#pragma once
// The processes this one has started and not yet reaped, kept where a signal
// handler can reach them: whatever way the process ends (a fatal signal, an
// internal error), it takes its children with it, and removes the temporary
// files it was writing (util/temp_file_registry.h).

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

// On SIGHUP, SIGINT, SIGQUIT and SIGTERM, noted children are killed and
// noted temporary files removed, then the process ends by the same signal,
// with its default action.
void end_children_with_the_process();

// Holds back the signals above while a step must not be cut short: the
// start of a child up to its registration (so no child can be started and
// missed), or a write in place up to its end or the restore of the old text.
// The signals are held in this thread, and a handler running in another
// thread waits until every hold is released before it acts, or at most a few
// seconds: a hold may wait for a lock that the interrupted thread holds. Children must
// start with `previous()` as their signal mask.
class TerminationHold {
 public:
  TerminationHold();
  ~TerminationHold();
  TerminationHold(const TerminationHold&) = delete;
  TerminationHold& operator=(const TerminationHold&) = delete;

  // True when the process is already being ended by a signal: start nothing.
  bool ending() const;
  const sigset_t& previous() const { return previous_; }

 private:
  sigset_t previous_;
};

}  // namespace tersify
