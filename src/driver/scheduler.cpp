// Files side by side: the run thread walks the list in order, looks up each
// file's edition and width (cargo metadata runs only here, so its runs come in
// list order) and hands the file to a pool of worker threads, which read it
// and compute its final text, each with its own rustfmt child and parsers. The
// run thread then takes the results strictly in list order and writes or
// records them, or reports the first failure. Files that come out of turn wait
// in a window bounded in number and in bytes. When a failure ends the run, the
// work still in flight is cancelled (rustfmt children killed, compaction
// stopped between its steps) and the workers are joined before the failure is
// returned: nothing of the run outlives it.
//
// A file read ahead of its turn is read again at its turn; when it no longer
// holds the text that was formatted, it is handled again then, on the run
// thread, so a user's edit made meanwhile is never overwritten.
//
// With one job, the same steps run in the run thread alone, one file after the
// other, with nothing ahead of its turn: the plain pipeline.

#include "driver/scheduler.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "driver/process_file.h"
#include "util/cancellation.h"
#include "util/fs.h"
#include "util/paths.h"

namespace tersify::driver {
namespace {

// Files in flight per job: room for a slow file's followers to finish.
constexpr std::size_t window_per_job = 16;

Result<FileSettings> settings_for(const std::string& listed_path, const FileRunOptions& options, EditionMap& editions,
                                  Formatter& formatter) {
  auto settings = file_settings(listed_path, options.overrides, editions);
  if (settings) formatter.prepare(*settings);
  return settings;
}

// A file's text may have changed since it was read ahead of its turn (the
// user saved it, or removed it): its result is then out of date, and the file
// is handled again at its turn, from what it holds now.
void redo_if_changed(const std::string& listed_path, Result<ProcessedFile>& outcome,
                     const Result<FileSettings>& settings, const FileRunOptions& options, Formatter& formatter) {
  if (!outcome) return;
  auto now = read_file(listed_path);
  if (now && *now == outcome->source) return;
  outcome = process_file(listed_path, settings, settles(options), formatter, nullptr, options.cache);
}

// The effect of one file: the write or record of its final text, or its
// failure as the line to print.
Status commit(const std::string& listed_path, const Result<FileSettings>& settings, Result<ProcessedFile>& outcome,
              const FileRunOptions& options, ReformatList& reformat_list, FileRunCounts& counts) {
  if (!outcome) return fail(display_path(listed_path) + ": " + outcome.error());
  ++counts.files;
  if (outcome->cached) ++counts.cache_hits;
  if (outcome->final.passes > 1) {
    ++counts.settled_files;
    counts.extra_passes += static_cast<std::uint64_t>(outcome->final.passes - 1);
  }
  if (auto done = record_file(listed_path, outcome->source, outcome->final.text, options.check, reformat_list);
      !done) {
    return fail(display_path(listed_path) + ": " + done.error());
  }
  if (options.cache != nullptr && outcome->final.fixed_point && !outcome->cached) {
    options.cache->record(outcome->final.text, *settings);
  }
  return {};
}

Status one_after_another(const std::vector<std::string>& files, const FileRunOptions& options, EditionMap& editions,
                         Formatter& formatter, ReformatList& reformat_list, FileRunCounts& counts) {
  for (const auto& file : files) {
    auto settings = settings_for(file, options, editions, formatter);
    auto outcome = process_file(file, settings, settles(options), formatter, nullptr, options.cache);
    if (auto done = commit(file, settings, outcome, options, reformat_list, counts); !done) return done;
  }
  return {};
}

class SideBySide {
 public:
  SideBySide(const FileRunOptions& options, EditionMap& editions, Formatter& formatter)
      : options_(options), editions_(editions), formatter_(formatter) {}
  SideBySide(const SideBySide&) = delete;
  SideBySide& operator=(const SideBySide&) = delete;
  ~SideBySide() { stop(); }

  Status run(const std::vector<std::string>& files, ReformatList& reformat_list, FileRunCounts& counts) {
    for (unsigned i = 0; i < options_.jobs; ++i) workers_.emplace_back([this] { work(); });
    std::size_t next = 0;
    bool open = true;  // false after a lookup failure: no later file can have its turn
    for (;;) {
      while (open && next < files.size() && may_dispatch()) {
        const std::string& file = files[next];
        auto identity = file_identity(file);
        // The same file again must read what its earlier turn wrote.
        if (identity &&
            std::any_of(window_.begin(), window_.end(), [&](const Slot& s) { return s.identity == identity; })) {
          break;
        }
        auto settings = settings_for(file, options_, editions_, formatter_);
        open = settings.has_value();
        dispatch(file, identity, std::move(settings));
        ++next;
      }
      if (window_.empty()) return {};

      Slot front = take_front();
      redo_if_changed(front.listed_path, *front.outcome, *front.settings, options_, formatter_);
      if (auto done = commit(front.listed_path, *front.settings, *front.outcome, options_, reformat_list, counts);
          !done) {
        stop();
        return done;
      }
    }
  }

 private:
  struct Slot {
    std::string listed_path;
    std::optional<FileIdentity> identity;
    std::optional<Result<FileSettings>> settings;  // set before the slot is handed out
    std::optional<Result<ProcessedFile>> outcome;  // set by a worker
    std::size_t bytes = 0;                         // held by the outcome
  };

  // Whether another file may go into flight: the window has room in number
  // and in bytes (a first file always may).
  bool may_dispatch() {
    std::lock_guard lock(mutex_);
    if (window_.empty()) return true;
    return window_.size() < window_per_job * options_.jobs && waiting_bytes_ <= max_waiting_bytes;
  }

  void dispatch(const std::string& file, std::optional<FileIdentity> identity, Result<FileSettings> settings) {
    {
      std::lock_guard lock(mutex_);
      // A deque keeps its elements in place as it grows at the back and
      // shrinks at the front, so the workers' pointers stay good.
      window_.push_back(Slot{file, identity, std::move(settings), std::nullopt, 0});
      queue_.push_back(&window_.back());
    }
    work_ready_.notify_one();
  }

  Slot take_front() {
    std::unique_lock lock(mutex_);
    outcome_ready_.wait(lock, [&] { return window_.front().outcome.has_value(); });
    Slot front = std::move(window_.front());
    window_.pop_front();
    waiting_bytes_ -= front.bytes;
    return front;
  }

  void work() {
    for (;;) {
      Slot* slot = nullptr;
      {
        std::unique_lock lock(mutex_);
        work_ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        slot = queue_.front();
        queue_.pop_front();
      }
      // The slot's path and settings were set before it was queued and are
      // not changed while the worker has it.
      auto outcome = process_file(slot->listed_path, *slot->settings, settles(options_), formatter_, &cancellation_,
                                  options_.cache);
      std::size_t bytes = outcome ? outcome->source.size() + outcome->final.text.size() : 0;
      {
        std::lock_guard lock(mutex_);
        slot->outcome = std::move(outcome);
        slot->bytes = bytes;
        waiting_bytes_ += bytes;
      }
      outcome_ready_.notify_one();
    }
  }

  // Cancels the work in flight and joins the workers. Idempotent.
  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      queue_.clear();
    }
    cancellation_.cancel();
    work_ready_.notify_all();
    for (auto& worker : workers_) worker.join();
    workers_.clear();
  }

  const FileRunOptions& options_;
  EditionMap& editions_;  // used by the run thread only
  Formatter& formatter_;
  Cancellation cancellation_;

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable outcome_ready_;
  std::deque<Slot> window_;  // in flight, in list order; grown and shrunk by the run thread only
  std::deque<Slot*> queue_;  // handed out, not yet taken by a worker
  std::size_t waiting_bytes_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace

Status process_files(const std::vector<std::string>& files, const FileRunOptions& options, EditionMap& editions,
                     Formatter& formatter, ReformatList& reformat_list, FileRunCounts& counts) {
  if (options.jobs <= 1 || files.size() <= 1) {
    return one_after_another(files, options, editions, formatter, reformat_list, counts);
  }
  SideBySide run(options, editions, formatter);
  return run.run(files, reformat_list, counts);
}

}  // namespace tersify::driver
