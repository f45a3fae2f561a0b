#pragma once
// What every posix_spawn of ours needs: attributes and file actions with
// their destroy calls tied to scope, the write signals back at their
// defaults, and descriptors kept clear of the standard streams.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include "util/fd.h"

namespace tersify {

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

  // Ignored dispositions survive exec: the child gets SIGPIPE and SIGXFSZ
  // (which ignore_write_signals ignores here) back at their defaults.
  // `more_flags` are other POSIX_SPAWN_* flags to set at the same time.
  void default_write_signals(short more_flags = 0) {
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    ::posix_spawnattr_setsigdefault(&attr_, &defaults);
    ::posix_spawnattr_setflags(&attr_, static_cast<short>(POSIX_SPAWN_SETSIGDEF | more_flags));
  }

 private:
  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
};

// Moves a descriptor that landed on 0, 1 or 2 (our own standard stream was
// closed) above them, so that a child's file actions on its standard streams
// can never meet it. Gives false (errno set) when that fails.
inline bool lift_above_standard_streams(Fd& fd) {
  if (fd.get() > STDERR_FILENO) return true;
  int moved = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (moved < 0) return false;
  fd.reset(moved);
  return true;
}

}  // namespace tersify
