// The run sequence: every rustfmt.toml brought up to date first, then every
// source file in path order, then the check-mode report. The first failure
// prints one line on standard error and ends the run with status 2; what was
// written before it stays written.
//
// Files go through the pipeline overlapped by one: while rustfmt formats file
// i, this process compacts, compares and writes file i-1. It is still one
// thread with at most one child, and the effects keep the order of one file
// after the other: file i-1 is written or recorded before any failure of
// file i is reported, and a failure of file i-1 is reported before anything
// of file i is written.

#include "main/run.h"

#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "discovery/source_files.h"
#include "driver/edition.h"
#include "driver/formatter_settings.h"
#include "driver/process_file.h"
#include "util/fs.h"
#include "util/paths.h"

namespace tersify {
namespace {

constexpr int failure_status = 2;

int report_failure(std::string line) {
  line.push_back('\n');
  std::string_view rest = line;
  while (!rest.empty()) {
    ssize_t n = ::write(STDERR_FILENO, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // nowhere left to say it; the status still tells
    rest.remove_prefix(static_cast<size_t>(n));
  }
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
  // The file before the current one: formatted, not yet compacted.
  std::optional<driver::FormattedFile> previous;
  std::optional<FileIdentity> previous_identity;
  auto complete_previous = [&]() -> Status {
    if (!previous) return {};
    auto done = driver::complete_file(*previous, settings.check, reformat_list);
    auto path = std::move(previous->listed_path);
    previous.reset();
    if (!done) return fail(display_path(path) + ": " + done.error());
    return {};
  };

  for (const auto& file : files) {
    // The same file twice in a row (a path given twice, or two links to one
    // file) must read what the first round wrote.
    auto identity = file_identity(file);
    if (previous && identity && identity == previous_identity) {
      if (auto done = complete_previous(); !done) return report_failure(std::move(done).error());
    }
    previous_identity = identity;

    auto pending = driver::start_file(file, settings.width_override, editions);
    if (!pending) {
      if (auto done = complete_previous(); !done) return report_failure(std::move(done).error());
      return report_failure(display_path(file) + ": " + pending.error());
    }
    // A failure here ends the run; file i's rustfmt is killed and reaped as
    // `pending` goes.
    if (auto done = complete_previous(); !done) return report_failure(std::move(done).error());

    auto formatted = driver::collect_file(std::move(*pending));
    if (!formatted) return report_failure(display_path(file) + ": " + formatted.error());
    previous = std::move(*formatted);
  }
  if (auto done = complete_previous(); !done) return report_failure(std::move(done).error());

  auto status = driver::finish_run(settings.check, update_list, reformat_list);
  if (!status) return report_failure(std::move(status).error());
  return *status;
}

}  // namespace tersify
