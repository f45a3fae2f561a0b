#include "driver/process_file.h"

#include <utility>

#include "util/fs.h"
#include "util/replace_file.h"
#include "util/paths.h"

namespace tersify::driver {

Result<ProcessedFile> process_file(const std::string& listed_path, const Result<FileSettings>& settings, bool settle,
                                   Formatter& formatter, const Cancellation* cancel, const ResultCache* cache) {
  auto source = read_text_file(listed_path);
  if (!source) return fail(std::move(source).error());
  if (!settings) return fail(settings.error());
  if (cache != nullptr && cache->known_final(*source, *settings)) {
    FinalText final{*source, 1, true};
    return ProcessedFile{std::move(*source), std::move(final), true};
  }

  auto final = final_text(*source, *settings, settle, formatter, cancel);
  if (!final) return fail(std::move(final).error());
  return ProcessedFile{std::move(*source), std::move(*final)};
}

Status record_file(const std::string& listed_path, const std::string& source, const std::string& final_text, bool check,
                   ReformatList& reformat_list) {
  if (final_text == source) return {};

  if (check) {
    if (reformat_list.keep_texts) {
      reformat_list.files.push_back({listed_path, source, final_text});
    } else {
      reformat_list.files.push_back({listed_path, {}, {}});
    }
    return {};
  }
  return replace_file(listed_path, final_text);
}

}  // namespace tersify::driver
