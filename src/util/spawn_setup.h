#pragma once
// What every child start of ours needs: descriptors kept clear of the
// standard streams, so that setting up a child's streams never meets them.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "util/fd.h"
#include "util/result.h"

namespace tersify {

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

struct Pipe {
  Fd read;
  Fd write;
};

// A close-on-exec pipe with both ends above the standard streams. Fails
// with the error number.
inline Result<Pipe, int> make_pipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return fail(errno);
  Pipe pipe{Fd(ends[0]), Fd(ends[1])};
  if (!lift_above_standard_streams(pipe.read) || !lift_above_standard_streams(pipe.write)) return fail(errno);
  return pipe;
}

}  // namespace tersify
