// The run sequence: every rustfmt.toml brought up to date first, then every
// source file in path order, then the check-mode report. The first failure
// prints one line on standard error and ends the run with status 2; what was
// written before it stays written.
//
// Files may be worked on side by side (driver/scheduler.h), but their effects
// come as if they were handled strictly one after the other.

#include "cargo_tersify/run.h"

#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cargo_tersify/package_selection.h"
#include "cargo_tersify/report.h"
#include "discovery/source_files.h"
#include "driver/edition.h"
#include "driver/ignored_files.h"
#include "driver/metadata_cache.h"
#include "driver/result_cache.h"
#include "driver/rustfmt.h"
#include "driver/rustfmt_batch.h"
#include "driver/rustfmt_toml.h"
#include "driver/scheduler.h"
#include "util/command_line.h"
#include "util/fs.h"
#include "util/paths.h"

namespace tersify {
namespace {

// The run's counts as "name value" lines, for benchmarks and tests; a
// failure to write them changes nothing of the run.
void write_stats(const std::string& path, const driver::FileRunCounts& files, const driver::RustfmtCounts& rustfmt) {
  std::string text;
  for (auto [name, value] : {std::pair{"files", files.files},
                             {"settled_files", files.settled_files},
                             {"extra_passes", files.extra_passes},
                             {"cache_hits", files.cache_hits},
                             {"rustfmt_plain", rustfmt.plain},
                             {"rustfmt_served", rustfmt.served},
                             {"servers", rustfmt.servers},
                             {"servers_dropped", rustfmt.servers_dropped},
                             {"rustfmt_batches", rustfmt.batches},
                             {"batch_misses", rustfmt.batch_misses}}) {
    text += std::string(name) + " " + std::to_string(value) + "\n";
  }
  (void)write_file(path, text);
}

}  // namespace

int run(const Settings& settings, const RunEnvironment& environment) {
  std::optional<driver::MetadataCache> metadata;
  if (environment.metadata_cache_folder) metadata.emplace(*environment.metadata_cache_folder, environment.cargo);
  driver::MetadataCacheInUse metadata_in_use(metadata ? &*metadata : nullptr);
  // Packages named as cargo names them add their files (cargo metadata's
  // editions are kept for the run).
  driver::EditionMap editions;
  auto packages = select_packages(settings, editions);
  if (!packages) return report_failure(std::move(packages).error());
  // A mistyped path stops the run before anything is touched.
  for (const auto& path : settings.paths) {
    if (auto exists = path_exists(path); !exists) return report_failure(display_path(path) + ": " + exists.error());
  }
  auto files = discovery::collect_source_files(settings.paths);
  if (!files) return report_failure(std::move(files).error());
  files = with_package_files(std::move(*files), *packages);
  *files = driver::without_ignored_files(std::move(*files));

  // Settings files first, all of them, before any source file is read: the
  // ones rustfmt reads for the listed files. The message already starts
  // with the config path.
  std::vector<driver::ConfigUpdate> update_list;
  auto config_files = driver::config_paths(with_package_folders(settings.paths, *packages), *files);
  if (auto done = driver::disable_formatting(config_files, settings.check, update_list); !done) {
    return report_failure(std::move(done).error());
  }
  if (settings.verbose) {
    for (const auto& config : config_files) {
      bool changed = std::any_of(update_list.begin(), update_list.end(),
                                 [&](const driver::ConfigUpdate& update) { return update.path == config.path; });
      report_handled(config.path, changed, true, settings.check);
    }
  }

  driver::ReformatList reformat_list{.keep_texts = settings.diff, .files = {}};
  driver::Rustfmt rustfmt(environment.fork_server, environment.batches);
  driver::FileRunCounts counts;
  std::optional<driver::ResultCache> cache;
  if (environment.cache_folder) cache.emplace(*environment.cache_folder);
  driver::FileRunOptions options{.check = settings.check,
                                 .overrides = {std::nullopt, settings.width_override},
                                 .jobs = environment.jobs,
                                 .group_size = rustfmt.batches() ? driver::batch_slots : 1,
                                 .settle_in_check = settings.diff,
                                 .cache = cache ? &*cache : nullptr,
                                 .roots = {}};
  // No file is read or written outside the paths given, whatever links
  // appear during the run.
  for (const auto& path : settings.paths) {
    auto root = canonical_path(path);
    options.roots.push_back(root ? std::move(*root) : path);
  }
  if (settings.verbose) {
    options.on_recorded = [&](const std::string& path, bool changed) {
      report_handled(path, changed, false, settings.check);
    };
  }
  auto done = driver::process_files(*files, options, editions, rustfmt, reformat_list, counts);
  if (environment.stats_path) write_stats(*environment.stats_path, counts, rustfmt.counts());
  if (!done) return report_failure(std::move(done).error());

  auto status = finish_run(settings, update_list, reformat_list);
  if (!status) return report_failure(std::move(status).error());
  return *status;
}

}  // namespace tersify
