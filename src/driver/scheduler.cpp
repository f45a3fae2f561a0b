// Files side by side: the run thread walks the list in order, looks up each
// file's settings and hands the file to a pool of worker threads, which read
// a group of files at a time and take them through the pipeline together,
// each file handed back as soon as its final text is known. The run thread
// takes the results strictly in list order and commits their effects, or
// reports the first failure. Files that come out of turn wait in a window
// bounded in number and in bytes. When a failure ends the run, the work
// still in flight is cancelled and the workers are joined before the
// failure is returned: nothing of the run outlives it.

#include "driver/scheduler.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "util/cancellation.h"
#include "util/fs.h"

namespace tersify::driver {
namespace {

// Files in flight per job, at least: room for a slow file's followers to
// finish. With groups, two groups per job: one worked on, one waiting.
constexpr std::size_t min_window_per_job = 16;

Status one_after_another(const std::vector<std::string>& files, SettingsLookup& lookup, const Pipeline& pipeline,
                         FileEffects& effects) {
  InterruptedWrites interrupted;
  for (const auto& file : files) {
    auto entry = path_entry(file);
    auto settings = lookup.settings_of(file, entry.kind);
    interrupted.undo_before_reading(file, entry);
    auto outcome = process_file(file, settings, pipeline, effects.roots());
    if (auto done = effects.commit_effect(file, settings, std::move(outcome), false); !done) return done;
  }
  return {};
}

class FilesInFlight {
 public:
  FilesInFlight(unsigned jobs, SettingsLookup& lookup, const Pipeline& pipeline, FileEffects& effects)
      : jobs_(jobs),
        group_limits_(pipeline.formatter.texts_at_once()),
        lookup_(lookup),
        pipeline_(pipeline),
        effects_(effects) {
    pipeline_.cancel = &cancellation_;
  }
  FilesInFlight(const FilesInFlight&) = delete;
  FilesInFlight& operator=(const FilesInFlight&) = delete;
  ~FilesInFlight() { stop(); }

  Status run(const std::vector<std::string>& files) {
    for (unsigned i = 0; i < jobs_; ++i) workers_.emplace_back([this] { work(); });
    std::size_t next = 0;
    bool open = true;  // false after a lookup failure: no later file can have its turn
    for (;;) {
      // Workers are woken a group at a time, so that each takes a whole one.
      TextsAtOnce unannounced{0, 0};
      while (open && next < files.size() && may_dispatch()) {
        const std::string& file = files[next];
        auto entry = path_entry(file);
        const auto& identity = entry.identity;
        // The same file again must read what its earlier turn wrote.
        if (identity &&
            std::any_of(window_.begin(), window_.end(), [&](const Slot& s) { return s.identity == identity; })) {
          break;
        }
        auto settings = lookup_.settings_of(file, entry.kind);
        interrupted_.undo_before_reading(file, entry);
        open = settings.has_value();
        auto size = static_cast<std::size_t>(entry.size);
        ++next;
        dispatch(file, identity, size, std::move(settings), !open || next == files.size());
        ++unannounced.texts;
        unannounced.bytes += size;
        if (unannounced.texts >= group_limits_.texts || unannounced.bytes >= group_limits_.bytes) {
          work_ready_.notify_all();
          unannounced = {0, 0};
        }
      }
      if (unannounced.texts != 0) work_ready_.notify_all();
      if (window_.empty()) return {};

      // The first file waits for its result; those behind it that are done
      // already take effect too before more are dispatched.
      bool first = true;
      while (!window_.empty()) {
        std::optional<Slot> front = take_front(first);
        if (!front) break;
        first = false;
        auto done = effects_.commit_effect(front->listed_path, *front->settings, std::move(*front->outcome), true);
        if (!done) {
          stop();
          return done;
        }
      }
    }
  }

 private:
  struct Slot {
    std::string listed_path;
    std::optional<FileIdentity> identity;
    std::size_t size = 0;                          // as listed: how much the file weighs in a group
    std::optional<Result<FileSettings>> settings;  // set before the slot is handed out
    std::optional<Result<ProcessedFile>> outcome;  // set by a worker
    std::size_t bytes = 0;                         // held by the outcome
  };

  // Whether another file may go into flight: the window has room in number
  // and in bytes (a first file always may).
  bool may_dispatch() {
    std::lock_guard lock(mutex_);
    if (window_.empty()) return true;
    std::size_t per_job = std::max(min_window_per_job, 2 * group_limits_.texts);
    return window_.size() < per_job * jobs_ && waiting_bytes_ <= max_waiting_bytes;
  }

  // `last`: no file comes after this one.
  void dispatch(const std::string& file, std::optional<FileIdentity> identity, std::size_t size,
                Result<FileSettings> settings, bool last) {
    std::lock_guard lock(mutex_);
    // A deque keeps its elements in place as it grows at the back and
    // shrinks at the front, so the workers' pointers stay good.
    window_.push_back(Slot{file, identity, size, std::move(settings), std::nullopt, 0});
    queue_.push_back(&window_.back());
    queued_bytes_ += size;
    all_dispatched_ = last;
  }

  // Takes the next group off the queue: at most a group's texts and bytes
  // (one larger file alone), and no more than an even share of the bytes
  // queued among the idle workers, or among all of them once every file is
  // queued, so that the last groups end about together.
  void take_group(std::vector<Slot*>& group) {
    std::size_t sharers = all_dispatched_ ? jobs_ : jobs_ - busy_;
    std::size_t share = (queued_bytes_ + sharers - 1) / sharers;
    std::size_t limit = std::min(group_limits_.bytes, std::max<std::size_t>(share, 1));
    std::size_t bytes = 0;
    while (!queue_.empty() && group.size() < group_limits_.texts) {
      Slot* next = queue_.front();
      if (!group.empty() && bytes + next->size > limit) break;
      group.push_back(next);
      queue_.pop_front();
      queued_bytes_ -= next->size;
      bytes += next->size;
    }
  }

  // The first file in flight once it is done; with `wait` false, none when
  // it is not done yet.
  std::optional<Slot> take_front(bool wait) {
    std::unique_lock lock(mutex_);
    if (wait) {
      outcome_ready_.wait(lock, [&] { return window_.front().outcome.has_value(); });
    } else if (!window_.front().outcome) {
      return std::nullopt;
    }
    Slot front = std::move(window_.front());
    window_.pop_front();
    waiting_bytes_ -= front.bytes;
    return front;
  }

  void work() {
    std::vector<Slot*> group;
    for (;;) {
      group.clear();
      {
        std::unique_lock lock(mutex_);
        work_ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        take_group(group);
        ++busy_;
      }
      work_on(group);
      std::lock_guard lock(mutex_);
      --busy_;
    }
  }

  // The slots' paths and settings were set before they were queued and are
  // not changed while the worker has them.
  void work_on(const std::vector<Slot*>& group) {
    std::vector<GroupMember> members;
    std::vector<Slot*> member_slots;
    // A group's files often share a folder, opened once for them.
    RegularTextReader reader(effects_.roots());
    for (Slot* slot : group) {
      auto source = read_source(slot->listed_path, *slot->settings, reader);
      if (!source) {
        publish(*slot, fail(std::move(source).error()));
        continue;
      }
      members.push_back({std::move(*source), &**slot->settings});
      member_slots.push_back(slot);
    }
    process_group(std::move(members), pipeline_,
                  [&](std::size_t i, Result<ProcessedFile> outcome) { publish(*member_slots[i], std::move(outcome)); });
  }

  void publish(Slot& slot, Result<ProcessedFile> outcome) {
    std::size_t bytes = outcome ? outcome->source.size() + outcome->final.text.size() : 0;
    {
      std::lock_guard lock(mutex_);
      slot.outcome = std::move(outcome);
      slot.bytes = bytes;
      waiting_bytes_ += bytes;
    }
    outcome_ready_.notify_one();
  }

  // Cancels the work in flight and joins the workers. Idempotent.
  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      queue_.clear();
      queued_bytes_ = 0;
    }
    cancellation_.cancel();
    work_ready_.notify_all();
    for (auto& worker : workers_) worker.join();
    workers_.clear();
  }

  const unsigned jobs_;
  const TextsAtOnce group_limits_;
  SettingsLookup& lookup_;  // used by the run thread only
  Cancellation cancellation_;
  Pipeline pipeline_;              // the workers', with cancellation_
  FileEffects& effects_;           // committed by the run thread only; its roots are read by all
  InterruptedWrites interrupted_;  // used by the run thread only

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable outcome_ready_;
  std::deque<Slot> window_;  // in flight, in list order; grown and shrunk by the run thread only
  std::deque<Slot*> queue_;  // handed out, not yet taken by a worker
  std::size_t queued_bytes_ = 0;  // of the files in queue_, as listed
  bool all_dispatched_ = false;
  std::size_t waiting_bytes_ = 0;
  std::size_t busy_ = 0;  // workers with a group
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace

Status process_in_list_order(const std::vector<std::string>& files, unsigned jobs, SettingsLookup& lookup,
                             const Pipeline& pipeline, FileEffects& effects) {
  if ((jobs <= 1 && pipeline.formatter.texts_at_once().texts <= 1) || files.size() <= 1) {
    return one_after_another(files, lookup, pipeline, effects);
  }
  FilesInFlight run(jobs, lookup, pipeline, effects);
  return run.run(files);
}

}  // namespace tersify::driver
