// The run sequence: every rustfmt.toml brought up to date first, then every
// source file in path order, then the check-mode report. The first failure
// prints one line on standard error and ends the run with status 2; what was
// written before it stays written.

#include "main/run.h"

#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "discovery/source_files.h"
#include "driver/edition.h"
#include "driver/formatter_settings.h"
#include "driver/process_file.h"
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
  for (const auto& file : files) {
    auto done = driver::process_file(file, settings.check, settings.width_override, editions, reformat_list);
    if (!done) return report_failure(display_path(file) + ": " + done.error());
  }

  auto status = driver::finish_run(settings.check, update_list, reformat_list);
  if (!status) return report_failure(std::move(status).error());
  return *status;
}

}  // namespace tersify
