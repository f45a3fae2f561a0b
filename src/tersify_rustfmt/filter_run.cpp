// Editors keep their buffer unless the formatter succeeds, and they read
// standard output as the whole new text: so standard output is written once,
// with the complete result, and every failure is status 2 with nothing there.

#include "tersify_rustfmt/filter_run.h"

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "driver/file_settings.h"
#include "driver/final_text.h"
#include "driver/ignored_files.h"
#include "driver/metadata_cache.h"
#include "driver/result_cache.h"
#include "driver/rustfmt.h"
#include "driver/rustfmt_message.h"
#include "util/command_line.h"
#include "util/fs.h"
#include "util/io_error.h"
#include "util/paths.h"
#include "util/text.h"

namespace tersify {
namespace {

constexpr std::string_view stdin_name = "<stdin>";

// The text for `source` as if it were the named file, or a file in the
// working directory: its folder, edition and width come from there unless
// the command line gives them. Fails with the message to print after the
// input's name.
Result<std::string> filtered_text(std::string_view source, const FilterSettings& filter,
                                  const FilterEnvironment& environment) {
  driver::EditionMap editions;
  auto settings = driver::file_settings(filter.file_name.value_or("."), filter.overrides, editions);
  if (!settings) return fail(std::move(settings).error());
  std::optional<driver::ResultCache> cache;
  if (environment.result_cache_folder) cache.emplace(*environment.result_cache_folder);
  if (cache && cache->known_final(source, *settings)) return std::string(source);
  // Settled as in write mode: the result is what cargo tersify writes. Its
  // two or more rustfmt runs cost one start through a fork server.
  driver::Rustfmt rustfmt(environment.fork_server);
  auto final = driver::final_text(source, *settings, /*settle=*/true, rustfmt);
  if (!final) return fail(std::move(final).error());
  if (cache && final->fixed_point) cache->record(final->text, *settings);
  return std::move(final->text);
}

}  // namespace

FilterEnvironment FilterEnvironment::of_process() {
  const char* server = std::getenv("CARGO_TERSIFY_FORK_SERVER");
  return {.fork_server = server == nullptr || std::string_view(server) != "0",
          .result_cache_folder = driver::result_cache_folder(),
          .metadata_cache_folder = driver::metadata_cache_folder(),
          .cargo = driver::CargoEnvironment::of_process()};
}

int run_filter(const FilterSettings& settings, const FilterEnvironment& environment) {
  std::optional<driver::MetadataCache> metadata;
  if (environment.metadata_cache_folder) metadata.emplace(*environment.metadata_cache_folder, environment.cargo);
  driver::MetadataCacheInUse metadata_in_use(metadata ? &*metadata : nullptr);
  const std::string input_name = settings.file_name ? display_path(*settings.file_name) : std::string(stdin_name);
  auto source = read_all(STDIN_FILENO);
  if (!source) return report_failure(input_name + ": " + source.error());
  // A file that the configuration's `ignore` list leaves out is left alone
  // by cargo tersify, whatever it holds: its text comes back as it is.
  if (settings.file_name && driver::IgnoredFiles().ignored(*settings.file_name)) return print_text(*source);
  if (!is_valid_utf8(*source)) return report_failure(input_name + ": " + invalid_utf8_text);

  auto text = filtered_text(*source, settings, environment);
  if (!text) return report_failure(input_name + ": " + driver::naming_the_file(text.error(), input_name));
  return print_text(*text);
}

}  // namespace tersify
