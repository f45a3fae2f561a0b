// Files side by side: the run thread walks the list in order, looks up each
// file's edition and width (cargo metadata runs only here, so its runs come in
// list order) and hands the file to a pool of worker threads, which read it
// and compute its final text, each with its own rustfmt child and parsers. A
// worker takes up to a group of files at once and has the formatter format
// their texts together first; each file's result is handed back as soon as
// it is done. The
// run thread then takes the results strictly in list order and writes or
// records them, or reports the first failure. Files that come out of turn wait
// in a window bounded in number and in bytes. When a failure ends the run, the
// work still in flight is cancelled (rustfmt children killed, compaction
// stopped between its steps) and the workers are joined before the failure is
// returned: nothing of the run outlives it.
//
// A file read ahead of its turn is read again at its turn; when it no longer
// holds the text that was formatted, or is another file now, it is handled
// again then, on the run thread, so a user's edit made meanwhile is never
// overwritten. The write itself goes through only while the path still
// leads to the file read at its turn with that text (util/replace_file.h);
// a file changed during its turn is handled again too, a few times at most.
//
// With one job and groups of one, the same steps run in the run thread alone,
// one file after the other, with nothing ahead of its turn: the plain
// pipeline.

#include "driver/scheduler.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "driver/folder_settings.h"
#include "driver/process_file.h"
#include "driver/rustfmt_message.h"
#include "util/cancellation.h"
#include "util/file_place.h"
#include "util/fs.h"
#include "util/in_place_write.h"
#include "util/paths.h"

namespace tersify::driver {
namespace {

// Files in flight per job, at least: room for a slow file's followers to
// finish. With groups, two groups per job.
constexpr std::size_t min_window_per_job = 16;

// A file's text may have changed since it was read ahead of its turn (the
// user saved it, or removed it), or its path may lead to another file now:
// its result is then out of date, and the file is handled again at its turn,
// from what it holds now.
void redo_if_changed(const std::string& listed_path, Result<ProcessedFile>& outcome,
                     const Result<FileSettings>& settings, const FileRunOptions& options, Formatter& formatter) {
  if (!outcome) return;
  auto now = read_regular_text(listed_path, options.roots);
  if (now && now->text == outcome->source && now->identity == outcome->identity) return;
  if (!now) {
    outcome = fail(std::move(now).error());
    return;
  }
  auto source = take_source(std::move(*now), settings, options.cache);
  outcome = source ? finish_file(std::move(*source), *settings, settles(options), formatter, nullptr)
                   : Result<ProcessedFile>(fail(std::move(source).error()));
}

// Times a file is handled at its turn before a run gives up on a file that
// keeps changing under it.
constexpr int max_turns = 3;

// The effect of one file: the write or record of its final text, or its
// failure as the line to print. A file that changed since its read at its
// turn is handled again.
Status commit(const std::string& listed_path, const Result<FileSettings>& settings, Result<ProcessedFile>& outcome,
              const FileRunOptions& options, Formatter& formatter, ReformatList& reformat_list,
              FileRunCounts& counts) {
  for (int turn = 1;; ++turn) {
    if (!outcome) {
      std::string shown = display_path(listed_path);
      return fail(shown + ": " + naming_the_file(outcome.error(), shown));
    }
    auto done = record_file(listed_path, *outcome, options.check, reformat_list, options.roots);
    if (done) break;
    if (!done.error().changed) return fail(display_path(listed_path) + ": " + std::move(done).error().message);
    if (turn == max_turns) {
      return fail(display_path(listed_path) + ": kept changing while it was formatted; it is left as it is");
    }
    outcome = process_file(listed_path, settings, settles(options), formatter, nullptr, options.cache, options.roots);
  }
  ++counts.files;
  if (outcome->cached) ++counts.cache_hits;
  if (outcome->final.passes > 1) {
    ++counts.settled_files;
    counts.extra_passes += static_cast<std::uint64_t>(outcome->final.passes - 1);
  }
  if (options.on_recorded) options.on_recorded(listed_path, outcome->final.text != outcome->source);
  if (options.cache != nullptr && outcome->final.fixed_point && !outcome->cached) {
    options.cache->record(outcome->final.text, *settings);
  }
  return {};
}

// Undoes, once per folder and before any file of it is read, what in-place
// writes that a killed run never finished left there.
class InterruptedWrites {
 public:
  void undo_before_reading(const std::string& listed_path) {
    auto canonical = canonical_path(listed_path);
    if (!canonical) return;
    auto folder = parent_path(*canonical);
    if (folder && folders_.insert(*folder).second) recover_in_place_writes(*folder);
  }

 private:
  std::set<std::string> folders_;
};

Status one_after_another(const std::vector<std::string>& files, const FileRunOptions& options, EditionMap& editions,
                         Formatter& formatter, ReformatList& reformat_list, FileRunCounts& counts) {
  InterruptedWrites interrupted;
  FolderSettings folder_settings(options.overrides, editions);
  for (const auto& file : files) {
    auto settings = folder_settings.settings_for(file);
    interrupted.undo_before_reading(file);
    auto outcome = process_file(file, settings, settles(options), formatter, nullptr, options.cache, options.roots);
    if (auto done = commit(file, settings, outcome, options, formatter, reformat_list, counts); !done) return done;
  }
  return {};
}

class SideBySide {
 public:
  SideBySide(const FileRunOptions& options, EditionMap& editions, Formatter& formatter)
      : options_(options),
        group_size_(std::max<std::size_t>(1, options.group_size)),
        folder_settings_(options.overrides, editions),
        formatter_(formatter) {}
  SideBySide(const SideBySide&) = delete;
  SideBySide& operator=(const SideBySide&) = delete;
  ~SideBySide() { stop(); }

  Status run(const std::vector<std::string>& files, ReformatList& reformat_list, FileRunCounts& counts) {
    for (unsigned i = 0; i < options_.jobs; ++i) workers_.emplace_back([this] { work(); });
    std::size_t next = 0;
    bool open = true;  // false after a lookup failure: no later file can have its turn
    for (;;) {
      std::size_t dispatched = 0;
      while (open && next < files.size() && may_dispatch()) {
        const std::string& file = files[next];
        auto identity = file_identity(file);
        // The same file again must read what its earlier turn wrote.
        if (identity &&
            std::any_of(window_.begin(), window_.end(), [&](const Slot& s) { return s.identity == identity; })) {
          break;
        }
        auto settings = folder_settings_.settings_for(file);
        interrupted_.undo_before_reading(file);
        open = settings.has_value();
        dispatch(file, identity, std::move(settings));
        ++next;
        // Workers are woken a group at a time, so that each takes a whole one.
        if (++dispatched % group_size_ == 0) work_ready_.notify_all();
      }
      if (dispatched % group_size_ != 0) work_ready_.notify_all();
      if (window_.empty()) return {};

      // The first file waits for its result; those behind it that are done
      // already are committed too before more are dispatched.
      bool first = true;
      while (!window_.empty()) {
        std::optional<Slot> front = take_front(first);
        if (!front) break;
        first = false;
        redo_if_changed(front->listed_path, *front->outcome, *front->settings, options_, formatter_);
        if (auto done = commit(front->listed_path, *front->settings, *front->outcome, options_, formatter_,
                               reformat_list, counts);
            !done) {
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
    std::optional<Result<FileSettings>> settings;  // set before the slot is handed out
    std::optional<Result<ProcessedFile>> outcome;  // set by a worker
    std::size_t bytes = 0;                         // held by the outcome
  };

  // Whether another file may go into flight: the window has room in number
  // and in bytes (a first file always may).
  bool may_dispatch() {
    std::lock_guard lock(mutex_);
    if (window_.empty()) return true;
    std::size_t per_job = std::max(min_window_per_job, 2 * group_size_);
    return window_.size() < per_job * options_.jobs && waiting_bytes_ <= max_waiting_bytes;
  }

  void dispatch(const std::string& file, std::optional<FileIdentity> identity, Result<FileSettings> settings) {
    {
      std::lock_guard lock(mutex_);
      // A deque keeps its elements in place as it grows at the back and
      // shrinks at the front, so the workers' pointers stay good.
      window_.push_back(Slot{file, identity, std::move(settings), std::nullopt, 0});
      queue_.push_back(&window_.back());
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
        // An even share of what waits among the idle workers, up to a group.
        std::size_t idle = options_.jobs - busy_;
        std::size_t share = (queue_.size() + idle - 1) / idle;
        while (!queue_.empty() && group.size() < std::min(share, group_size_)) {
          group.push_back(queue_.front());
          queue_.pop_front();
        }
        ++busy_;
      }
      work_on(group);
      std::lock_guard lock(mutex_);
      --busy_;
    }
  }

  // The slots' paths and settings were set before they were queued and are
  // not changed while the worker has them. The group's files go through
  // their pipelines side by side: each round, the texts they want formatted
  // go to the formatter together, and a file is handed back once it is done.
  void work_on(const std::vector<Slot*>& group) {
    struct Pending {
      Slot* slot;
      std::string source;
      FileIdentity identity;
      std::optional<FinalTextSteps> steps;
    };
    std::vector<Pending> pending;
    pending.reserve(group.size());  // the steps look into the sources: no moves
    for (Slot* slot : group) {
      auto source = read_source(slot->listed_path, *slot->settings, options_.cache, options_.roots);
      if (!source) {
        publish(*slot, fail(std::move(source).error()));
      } else if (source->known_final) {
        publish(*slot, finish_file(std::move(*source), **slot->settings, settles(options_), formatter_, nullptr));
      } else {
        pending.push_back({slot, std::move(source->text), source->identity, std::nullopt});
      }
    }
    for (auto& file : pending) {
      file.steps.emplace(file.source, **file.slot->settings, settles(options_), &cancellation_);
    }
    for (;;) {
      std::vector<FormatRequest> requests;
      std::vector<Pending*> asking;
      for (auto& file : pending) {
        if (auto text = file.steps->wanted()) {
          requests.push_back({*text, &**file.slot->settings});
          asking.push_back(&file);
        }
      }
      if (requests.empty()) return;
      auto answers = cancellation_.requested() ? std::vector<std::optional<std::string>>()
                                               : formatter_.format_together(requests, cancellation_.fd());
      answers.resize(requests.size());
      for (std::size_t i = 0; i < requests.size(); ++i) {
        Pending& file = *asking[i];
        if (answers[i]) {
          file.steps->give(std::move(*answers[i]));
        } else if (cancellation_.requested()) {
          file.steps->give(fail("cancelled"));
        } else {
          file.steps->give(formatter_.format(requests[i].text, *requests[i].settings, cancellation_.fd()));
        }
        if (file.steps->wanted()) continue;
        auto final = std::move(*file.steps).result();
        publish(*file.slot, final ? Result<ProcessedFile>(
                                        ProcessedFile{std::move(file.source), file.identity, std::move(*final)})
                                  : fail(std::move(final).error()));
      }
    }
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
    }
    cancellation_.cancel();
    work_ready_.notify_all();
    for (auto& worker : workers_) worker.join();
    workers_.clear();
  }

  const FileRunOptions& options_;
  const std::size_t group_size_;
  FolderSettings folder_settings_;  // used by the run thread only
  Formatter& formatter_;
  InterruptedWrites interrupted_;  // used by the run thread only
  Cancellation cancellation_;

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable outcome_ready_;
  std::deque<Slot> window_;  // in flight, in list order; grown and shrunk by the run thread only
  std::deque<Slot*> queue_;  // handed out, not yet taken by a worker
  std::size_t waiting_bytes_ = 0;
  std::size_t busy_ = 0;  // workers with a group
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace

Status process_files(const std::vector<std::string>& files, const FileRunOptions& options, EditionMap& editions,
                     Formatter& formatter, ReformatList& reformat_list, FileRunCounts& counts) {
  if ((options.jobs <= 1 && options.group_size <= 1) || files.size() <= 1) {
    return one_after_another(files, options, editions, formatter, reformat_list, counts);
  }
  SideBySide run(options, editions, formatter);
  return run.run(files, reformat_list, counts);
}

}  // namespace tersify::driver
