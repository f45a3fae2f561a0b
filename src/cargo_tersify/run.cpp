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
#include "driver/rustfmt_toml.h"
#include "driver/scheduler.h"
#include "util/command_line.h"
#include "util/fs.h"
#include "util/paths.h"

namespace tersify {
namespace {

// The run's counts as "name value" lines, for benchmarks and tests; a
// failure to write them changes nothing of the run.
void write_stats(const std::string& path, const std::vector<driver::RunCount>& files,
                 const std::vector<driver::RunCount>& rustfmt) {
  std::string text;
  for (const auto& counts : {files, rustfmt}) {
    for (const auto& [name, value] : counts) text.append(name).append(" ").append(std::to_string(value)).append("\n");
  }
  (void)write_file(path, text);
}

}  // namespace

int run(const RunOptions& run_options) {
  const RunArguments& args = run_options.arguments;
  const driver::Environment& environment = run_options.environment;
  // Packages named as cargo names them add their files (cargo metadata's
  // editions are kept for the run).
  std::optional<driver::MetadataCache> metadata;
  if (auto folder = driver::metadata_cache_folder(environment)) metadata.emplace(*folder, environment);
  const driver::Cargo cargo(environment.program("cargo"), metadata ? &*metadata : nullptr);
  driver::EditionMap editions;
  auto packages = select_packages(args, editions, cargo);
  if (!packages) return report_failure(std::move(packages).error());
  // A mistyped path stops the run before anything is touched.
  for (const auto& path : args.paths) {
    if (auto exists = path_exists(path); !exists) return report_failure(about_path(path, exists.error()));
  }
  discovery::SearchedFolders searched;
  auto files = discovery::collect_source_files(args.paths, &searched);
  if (!files) return report_failure(std::move(files).error());
  files = with_package_files(std::move(*files), *packages);
  // Every walk up the tree from a listed file's folder, made once for the
  // ignore lists, the configuration plan and the settings.
  driver::FolderLookups lookups(environment);
  lookups.know_canonical_folders(std::move(searched));
  *files = driver::without_ignored_files(std::move(*files), lookups);

  // Configuration files first, all of them, before any source file is read: the
  // ones rustfmt reads for the listed files. The message already starts
  // with the config path.
  std::vector<driver::ConfigUpdate> update_list;
  auto config_files =
      driver::config_files_to_disable(with_package_folders(args.paths, *packages), *files, environment, &lookups);
  if (auto done = driver::disable_formatting(config_files, args.check, update_list); !done) {
    return report_failure(std::move(done).error());
  }
  if (args.verbose) {
    for (const auto& config : config_files) {
      bool changed = std::any_of(update_list.begin(), update_list.end(),
                                 [&](const driver::ConfigUpdate& update) { return update.path == config.path; });
      report_handled(config.path, changed, true, args.check);
    }
  }

  driver::ReformatList reformat_list{.keep_texts = args.diff, .files = {}};
  driver::Rustfmt rustfmt(environment, {.fork_server = environment.fork_server, .batches = environment.batches});
  std::optional<driver::ResultCache> cache;
  if (auto folder = driver::result_cache_folder(environment)) cache.emplace(*folder, environment);
  // --diff settles as a write does, so that it shows exactly what a write
  // would leave.
  const driver::Pipeline pipeline{rustfmt, !args.check || args.diff, cache ? &*cache : nullptr, nullptr};
  driver::EffectOptions effect_options{.check = args.check, .roots = {}, .working_folder = {}, .on_effect = nullptr};
  // No file is read or written outside the paths given, whatever links
  // appear during the run.
  for (const auto& path : args.paths) {
    auto root = canonical_path(path);
    effect_options.roots.push_back(root ? std::move(*root) : path);
  }
  if (auto working_folder = canonical_path(".")) effect_options.working_folder = std::move(*working_folder);
  if (args.verbose) {
    effect_options.on_effect = [&](const std::string& path, bool changed) {
      report_handled(path, changed, false, args.check);
    };
  }
  driver::FileRunCounts counts;
  driver::FileEffects effects(effect_options, pipeline, reformat_list, counts);
  // A configuration file made since changes what the walks find.
  bool made_config = !args.check && std::any_of(update_list.begin(), update_list.end(),
                                                [](const driver::ConfigUpdate& update) { return update.created; });
  driver::SettingsLookup lookup(environment, args.overrides, editions, cargo.remembered,
                                made_config ? nullptr : &lookups);
  auto done = driver::process_in_list_order(*files, run_options.jobs, lookup, pipeline, effects);
  if (environment.stats_path) write_stats(*environment.stats_path, counts.named(), rustfmt.counts());
  if (!done) return report_failure(std::move(done).error());

  auto status = finish_run(args, update_list, reformat_list);
  if (!status) return report_failure(std::move(status).error());
  return *status;
}

}  // namespace tersify
