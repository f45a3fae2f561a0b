// The run sequence: every rustfmt.toml brought up to date first, then every
// source file in path order, then the check-mode report. The first failure
// prints one line on standard error and ends the run with status 2; what was
// written before it stays written.
//
// Files go through the pipeline overlapped: while rustfmt formats file i,
// this process compacts, a step at a time, the files before it that wait in
// the backlog, and compares and writes each one as its compaction finishes.
// A large file can so take several rustfmt runs to compact without holding
// rustfmt up. It is still one thread with at most one child, and the effects
// keep the order of one file after the other: every file before file i is
// written or recorded before any failure of file i is reported, and a failure
// of an earlier file is reported before anything later is written.

#include "main/run.h"

#include <unistd.h>

#include <cstddef>
#include <string>
#include <vector>

#include "discovery/source_files.h"
#include "driver/backlog.h"
#include "driver/edition.h"
#include "driver/formatter_settings.h"
#include "driver/process_file.h"
#include "util/fs.h"
#include "util/paths.h"

namespace tersify {
namespace {

constexpr int failure_status = 2;
// The text (as read and as formatted) that waiting files may hold.
constexpr std::size_t max_held_bytes = std::size_t{64} << 20;

int report_failure(std::string line) {
  line.push_back('\n');
  // When standard error is gone too there is nowhere left to say it; the
  // status still tells.
  (void)write_all(STDERR_FILENO, line);
  return failure_status;
}

}  // namespace

int run(const Settings& settings) {
  // Settings files first, all of them, before any source file is looked at.
  std::vector<std::string> update_list;
  for (const auto& config_path : driver::config_paths(settings.paths)) {
    // The message already starts with the config path.
    if (auto done = driver::disable_formatting(config_path, settings.check, update_list); !done) {
      return report_failure(std::move(done).error());
    }
  }

  auto files = discovery::collect_source_files(settings.paths);

  driver::EditionMap editions;
  std::vector<std::string> reformat_list;
  driver::Backlog backlog(settings.check, reformat_list);

  for (const auto& file : files) {
    // The same file again (a path given twice, or two links to one file)
    // must read what its earlier round wrote.
    auto identity = file_identity(file);
    if (backlog.holds(identity)) {
      if (auto done = backlog.complete_all(); !done) return report_failure(std::move(done).error());
    }
    // Past this much waiting text, compaction catches up before another
    // rustfmt run adds to it.
    while (backlog.held_bytes() > max_held_bytes) {
      if (auto done = backlog.complete_front(); !done) return report_failure(std::move(done).error());
    }

    auto pending = driver::start_file(file, settings.width_override, editions);
    if (!pending) {
      if (auto done = backlog.complete_all(); !done) return report_failure(std::move(done).error());
      return report_failure(display_path(file) + ": " + pending.error());
    }
    // Compaction advances while rustfmt works. A failure here ends the run;
    // file i's rustfmt is killed and reaped as `pending` goes.
    while (!backlog.empty() && !pending->rustfmt.poll_done()) {
      if (auto done = backlog.step_front(); !done) return report_failure(std::move(done).error());
    }

    auto formatted = driver::collect_file(std::move(*pending));
    if (!formatted) {
      if (auto done = backlog.complete_all(); !done) return report_failure(std::move(done).error());
      return report_failure(display_path(file) + ": " + formatted.error());
    }
    backlog.push(std::move(*formatted), identity);
  }
  if (auto done = backlog.complete_all(); !done) return report_failure(std::move(done).error());

  auto status = driver::finish_run(settings.check, update_list, reformat_list);
  if (!status) return report_failure(std::move(status).error());
  return *status;
}

}  // namespace tersify
