#include "driver/process_file.h"

#include <utility>

#include "util/fs.h"
#include "util/replace_file.h"
#include "util/paths.h"

namespace tersify::driver {

Result<ProcessedFile> process_file(const std::string& listed_path, const Result<FileSettings>& settings, bool check,
                                   Formatter& formatter, const Cancellation* cancel) {
  auto source = read_text_file(listed_path);
  if (!source) return fail(std::move(source).error());
  if (!settings) return fail(settings.error());

  // Write mode settles, so that a --check after a write finds nothing.
  auto final = final_text(*source, *settings, !check, formatter, cancel);
  if (!final) return fail(std::move(final).error());
  return ProcessedFile{std::move(*source), std::move(*final)};
}

Status record_file(const std::string& listed_path, const std::string& source, const std::string& final_text, bool check,
                   std::vector<std::string>& reformat_list) {
  if (final_text == source) return {};

  if (check) {
    reformat_list.push_back(listed_path);
    return {};
  }
  return replace_file(listed_path, final_text);
}

}  // namespace tersify::driver
