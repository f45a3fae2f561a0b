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

#include <pthread.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>

#include "util/cancellation.h"
#include "util/fs.h"

namespace tersify::driver {
namespace {

// Files in flight per job, at least: room for a slow file's followers to
// finish. With groups, two groups per job: one worked on, one waiting.
constexpr std::size_t min_window_per_job = 16;

// Files a worker takes to read at a time, when the formatter takes that
// many at once: few, so that reading starts early and is shared evenly,
// while the files the cache does not know still gather into a formatter's
// worth before they are formatted.
constexpr std::size_t files_read_at_once = 32;

Status one_after_another(const std::vector<std::string>& files, SettingsLookup& lookup, const Pipeline& pipeline,
                         FileEffects& effects) {
  InterruptedWrites interrupted;
  for (const auto& file : files) {
    auto entry = path_entry(file);
    auto settings = lookup.settings_of(file, entry.kind);
    interrupted.undo_before_reading(file, entry, settings);
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
        read_limit_(std::min(group_limits_.texts, files_read_at_once)),
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
      // A worker is woken for each read's worth of files, so that the files
      // the cache knows come back while the rest are dispatched.
      std::size_t unannounced = 0;
      while (open && next < files.size() && may_dispatch()) {
        const std::string& file = files[next];
        auto entry = path_entry(file);
        const auto& identity = entry.identity;
        // The same file again must read what its earlier turn wrote.
        if (identity && in_window_.contains(*identity)) break;
        auto settings = lookup_.settings_of(file, entry.kind);
        interrupted_.undo_before_reading(file, entry, settings);
        open = settings.has_value();
        auto size = static_cast<std::size_t>(entry.size);
        dispatch(file, next, identity, size, std::move(settings), !open || next + 1 == files.size());
        ++next;
        if (++unannounced == read_limit_) {
          work_ready_.notify_one();
          unannounced = 0;
        }
      }
      if (unannounced != 0) work_ready_.notify_all();
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
    std::size_t position = 0;  // in the list
    std::optional<FileIdentity> identity;
    std::size_t size = 0;                          // as listed: how much the file weighs in a group
    std::optional<Result<FileSettings>> settings;  // set before the slot is handed out
    std::optional<Result<ProcessedFile>> outcome;  // set by a worker
    std::size_t bytes = 0;                         // held by the outcome
  };

  // A file read that the cache does not know, waiting to be formatted.
  struct Unknown {
    Slot* slot;
    SourceText source;
  };

  struct IdentityHash {
    std::size_t operator()(const FileIdentity& identity) const {
      return std::hash<std::uint64_t>{}(static_cast<std::uint64_t>(identity.inode) * 31 +
                                        static_cast<std::uint64_t>(identity.device));
    }
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
  void dispatch(const std::string& file, std::size_t position, std::optional<FileIdentity> identity,
                std::size_t size, Result<FileSettings> settings, bool last) {
    if (identity) ++in_window_[*identity];
    std::lock_guard lock(mutex_);
    // A deque keeps its elements in place as it grows at the back and
    // shrinks at the front, so the workers' pointers stay good.
    window_.push_back(Slot{file, position, identity, size, std::move(settings), std::nullopt, 0});
    queue_.push_back(&window_.back());
    queued_bytes_ += size;
    all_dispatched_ = last;
  }

  // Whether the files read and not known are to be formatted now: a
  // formatter's worth of them is waiting, or nothing more is to be read
  // before the run thread has its next result (every file is read, or the
  // run thread waits, and no worker is reading still).
  bool formatting_due() const {
    if (unknown_.empty()) return false;
    if (unknown_.size() >= group_limits_.texts || unknown_bytes_ >= group_limits_.bytes) return true;
    return queue_.empty() && (all_dispatched_ || run_waiting_) && busy_ == formatting_;
  }

  // Takes the next files to read off the queue: at most a read's worth of
  // texts and a group's bytes (one larger file alone), and no more than an
  // even share of the bytes queued among the idle workers, or among all of
  // them once every file is queued, so that the last reads end about
  // together.
  void take_reading(std::vector<Slot*>& group) {
    std::size_t sharers = all_dispatched_ ? jobs_ : jobs_ - busy_;
    std::size_t share = (queued_bytes_ + sharers - 1) / sharers;
    std::size_t limit = std::min(group_limits_.bytes, std::max<std::size_t>(share, 1));
    std::size_t bytes = 0;
    while (!queue_.empty() && group.size() < read_limit_) {
      Slot* next = queue_.front();
      if (!group.empty() && bytes + next->size > limit) break;
      group.push_back(next);
      queue_.pop_front();
      queued_bytes_ -= next->size;
      bytes += next->size;
    }
  }

  // Takes the next texts to format, in list order: at most a group's texts
  // and bytes (one larger text alone), and once every file is read, no more
  // than an even share of the bytes waiting among the workers not
  // formatting already, so that the last groups end about together.
  void take_formatting(std::vector<Unknown>& group) {
    std::size_t sharers = queue_.empty() && all_dispatched_ ? jobs_ - formatting_ : 1;
    std::size_t share = (unknown_bytes_ + sharers - 1) / sharers;
    std::size_t limit = std::min(group_limits_.bytes, std::max<std::size_t>(share, 1));
    std::size_t bytes = 0;
    std::size_t taken = 0;
    while (taken < unknown_.size() && taken < group_limits_.texts) {
      std::size_t size = unknown_[taken].source.text.size();
      if (taken != 0 && bytes + size > limit) break;
      bytes += size;
      ++taken;
    }
    std::move(unknown_.begin(), unknown_.begin() + static_cast<std::ptrdiff_t>(taken), std::back_inserter(group));
    unknown_.erase(unknown_.begin(), unknown_.begin() + static_cast<std::ptrdiff_t>(taken));
    unknown_bytes_ -= bytes;
  }

  // The first file in flight once it is done; with `wait` false, none when
  // it is not done yet.
  std::optional<Slot> take_front(bool wait) {
    std::unique_lock lock(mutex_);
    if (wait && !window_.front().outcome) {
      // No file is dispatched before this one's turn: what is read is to
      // be formatted, however few.
      run_waiting_ = true;
      if (formatting_due()) work_ready_.notify_one();
      outcome_ready_.wait(lock, [&] { return window_.front().outcome.has_value(); });
      run_waiting_ = false;
    } else if (!window_.front().outcome) {
      return std::nullopt;
    }
    Slot front = std::move(window_.front());
    window_.pop_front();
    waiting_bytes_ -= front.bytes;
    lock.unlock();
    if (front.identity) {
      auto counted = in_window_.find(*front.identity);
      if (counted != in_window_.end() && --counted->second == 0) in_window_.erase(counted);
    }
    return front;
  }

  void work() {
    // Named for profilers and `top -H`.
    pthread_setname_np(pthread_self(), "tersify-worker");
    std::vector<Slot*> reading;
    std::vector<Unknown> formatting;
    std::vector<Unknown> unknown;
    std::unique_lock lock(mutex_);
    for (;;) {
      work_ready_.wait(lock, [&] { return stopping_ || formatting_due() || !queue_.empty(); });
      if (stopping_) return;
      bool formats = formatting_due();
      if (formats) {
        take_formatting(formatting);
        ++formatting_;
      } else {
        take_reading(reading);
      }
      ++busy_;
      // What is left to format is another idle worker's share.
      bool more = formats && formatting_due();
      lock.unlock();
      if (more) work_ready_.notify_one();
      if (formats) {
        format(formatting);
      } else {
        read(reading, unknown);
      }
      lock.lock();
      --busy_;
      if (formats) --formatting_;
      if (!stopping_) {
        for (auto& file : unknown) {
          unknown_bytes_ += file.source.text.size();
          auto at = std::upper_bound(
              unknown_.begin(), unknown_.end(), file.slot->position,
              [](std::size_t position, const Unknown& waiting) { return position < waiting.slot->position; });
          unknown_.insert(at, std::move(file));
        }
      }
      reading.clear();
      formatting.clear();
      unknown.clear();
    }
  }

  // Reads the files: one that the cache knows, or that fails, is handed
  // back at once, so that its turn may come while the rest are read; the
  // others go to `unknown`, to be formatted a formatter's worth at a time.
  void read(const std::vector<Slot*>& group, std::vector<Unknown>& unknown) {
    // A group's files often share a folder, opened once for them.
    RegularTextReader reader(effects_.roots());
    for (Slot* slot : group) {
      auto source = read_source(slot->listed_path, *slot->settings, reader);
      if (!source) {
        publish(*slot, fail(std::move(source).error()));
      } else if (auto known = known_final_file(*source, **slot->settings, pipeline_)) {
        publish(*slot, std::move(*known));
      } else {
        unknown.push_back({slot, std::move(*source)});
      }
    }
  }

  void format(std::vector<Unknown>& group) {
    std::vector<GroupMember> members;
    std::vector<Slot*> slots;
    members.reserve(group.size());
    slots.reserve(group.size());
    for (auto& [slot, source] : group) {
      members.push_back({std::move(source), &**slot->settings});
      slots.push_back(slot);
    }
    format_group(std::move(members), pipeline_,
                 [&](std::size_t i, Result<ProcessedFile> outcome) { publish(*slots[i], std::move(outcome)); });
  }

  void publish(Slot& slot, Result<ProcessedFile> outcome) {
    std::size_t bytes = outcome ? outcome->source.size() + outcome->final.text.size() : 0;
    bool awaited = false;
    {
      std::lock_guard lock(mutex_);
      slot.outcome = std::move(outcome);
      slot.bytes = bytes;
      waiting_bytes_ += bytes;
      // The run thread waits for the first file only.
      awaited = run_waiting_ && &window_.front() == &slot;
    }
    if (awaited) outcome_ready_.notify_one();
  }

  // Cancels the work in flight and joins the workers. Idempotent.
  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      queue_.clear();
      queued_bytes_ = 0;
      unknown_.clear();
      unknown_bytes_ = 0;
    }
    cancellation_.cancel();
    work_ready_.notify_all();
    for (auto& worker : workers_) worker.join();
    workers_.clear();
  }

  const unsigned jobs_;
  const TextsAtOnce group_limits_;
  const std::size_t read_limit_;
  SettingsLookup& lookup_;  // used by the run thread only
  Cancellation cancellation_;
  Pipeline pipeline_;              // the workers', with cancellation_
  FileEffects& effects_;           // committed by the run thread only; its roots are read by all
  InterruptedWrites interrupted_;  // used by the run thread only
  // How many files in flight each identity has: used by the run thread only.
  std::unordered_map<FileIdentity, unsigned, IdentityHash> in_window_;

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable outcome_ready_;
  std::deque<Slot> window_;  // in flight, in list order; grown and shrunk by the run thread only
  std::deque<Slot*> queue_;  // handed out, not yet taken by a worker
  std::size_t queued_bytes_ = 0;  // of the files in queue_, as listed
  std::vector<Unknown> unknown_;  // read, not known to the cache, in list order
  std::size_t unknown_bytes_ = 0;
  bool all_dispatched_ = false;
  bool run_waiting_ = false;  // the run thread waits for the first file in flight
  std::size_t waiting_bytes_ = 0;
  std::size_t busy_ = 0;        // workers reading or formatting
  std::size_t formatting_ = 0;  // workers formatting
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
