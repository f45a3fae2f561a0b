// Editors keep their buffer unless the formatter succeeds, and they read
// standard output as the whole new text: so standard output is written once,
// with the complete result, and every failure is status 2 with nothing there.

#include "tersify_rustfmt/filter_run.h"

#include <unistd.h>

#include <string>
#include <string_view>

#include "driver/file_settings.h"
#include "driver/ignored_files.h"
#include "driver/metadata_cache.h"
#include "driver/process_file.h"
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
Result<std::string> filtered_text(std::string_view source, const FilterArguments& filter,
                                  const driver::Environment& environment) {
  std::optional<driver::MetadataCache> metadata;
  if (auto folder = driver::metadata_cache_folder(environment)) metadata.emplace(*folder, environment);
  driver::EditionMap editions;
  driver::SettingsLookup lookup(environment, filter.overrides, editions, metadata ? &*metadata : nullptr);
  auto settings = lookup.settings_of(filter.file_name.value_or("."));
  if (!settings) return fail(std::move(settings).error());
  std::optional<driver::ResultCache> cache;
  if (auto folder = driver::result_cache_folder(environment)) cache.emplace(*folder, environment);
  // One text, but two rustfmt runs or more (formatting and settling): a
  // fork server makes them cost one start. A batch would cost more than it
  // saves.
  driver::Rustfmt rustfmt(environment, {.fork_server = environment.fork_server, .batches = false});
  // Settled as in write mode: the result is what cargo tersify writes.
  const driver::Pipeline pipeline{rustfmt, true, cache ? &*cache : nullptr, nullptr};
  auto processed = driver::process_file({std::string(source), {}, std::nullopt}, *settings, pipeline);
  if (!processed) return fail(std::move(processed).error());
  driver::remember_final_text(*processed, *settings, pipeline.cache);
  return std::move(processed->final.text);
}

}  // namespace

int run_filter(const FilterArguments& args, const driver::Environment& environment) {
  // Failures are told about the file, or about the input without one.
  const std::string input = args.file_name.value_or(std::string(stdin_name));
  auto source = read_all(STDIN_FILENO);
  if (!source) return report_failure(driver::file_failure(input, source.error()));
  // A file that the configuration's `ignore` list leaves out is left alone
  // by cargo tersify, whatever it holds: its text comes back as it is.
  if (args.file_name && driver::IgnoredFiles(environment).ignored(*args.file_name)) return print_text(*source);
  if (!is_valid_utf8(*source)) return report_failure(driver::file_failure(input, invalid_utf8_text));

  auto text = filtered_text(*source, args, environment);
  if (!text) return report_failure(driver::file_failure(input, text.error()));
  return print_text(*text);
}

}  // namespace tersify
