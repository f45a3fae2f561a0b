#pragma once
// A thread that runs the tasks given to it, one after the other, for work
// whose results must belong to a thread that outlives the callers' threads:
// a child started with a parent-death signal dies when the thread that
// started it ends. The thread starts with the first task and is joined by
// the destructor, after the tasks already given have run.

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace tersify {

class TaskThread {
 public:
  TaskThread() = default;
  TaskThread(const TaskThread&) = delete;
  TaskThread& operator=(const TaskThread&) = delete;
  ~TaskThread();

  // Runs `task` on the thread; the future is ready once it has run.
  // Thread-safe.
  std::future<void> run(std::function<void()> task);

 private:
  void loop();

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::packaged_task<void()>> tasks_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace tersify
