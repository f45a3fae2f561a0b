#include "util/cancellation.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "util/fatal.h"

namespace tersify {

Cancellation::Cancellation() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) internal_error("no pipe for cancelling work");
  read_end_.reset(ends[0]);
  write_end_.reset(ends[1]);
}

void Cancellation::cancel() {
  if (requested_.exchange(true, std::memory_order_acq_rel)) return;
  char byte = 1;
  while (::write(write_end_.get(), &byte, 1) < 0 && errno == EINTR) {
  }
}

}  // namespace tersify
