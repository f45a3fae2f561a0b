#pragma once
// A one-way signal from the thread that owns some work to the threads doing
// it: a flag for work that can look between its steps, and a descriptor that
// becomes readable for work that waits in poll.

#include <atomic>

#include "util/fd.h"

namespace tersify {

class Cancellation {
 public:
  Cancellation();
  Cancellation(const Cancellation&) = delete;
  Cancellation& operator=(const Cancellation&) = delete;

  // Asks all work to stop; stays asked. Thread-safe.
  void cancel();
  bool requested() const { return requested_.load(std::memory_order_acquire); }
  // Readable once cancel() was called; never read, so it stays readable.
  int fd() const { return read_end_.get(); }

 private:
  std::atomic<bool> requested_{false};
  Fd read_end_;
  Fd write_end_;
};

}  // namespace tersify
