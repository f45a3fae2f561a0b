#include "util/task_thread.h"

#include <utility>

namespace tersify {

TaskThread::~TaskThread() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::future<void> TaskThread::run(std::function<void()> task) {
  std::packaged_task<void()> packaged(std::move(task));
  auto done = packaged.get_future();
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(packaged));
    if (!thread_.joinable()) thread_ = std::thread([this] { loop(); });
  }
  ready_.notify_one();
  return done;
}

void TaskThread::loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ready_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
    if (tasks_.empty()) return;
    auto task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    task();
    lock.lock();
  }
}

}  // namespace tersify
