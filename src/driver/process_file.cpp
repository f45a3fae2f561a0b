#include "driver/process_file.h"

#include <utility>

#include "util/fs.h"
#include "util/paths.h"
#include "util/replace_file.h"

namespace tersify::driver {

Result<SourceText> read_source(const std::string& listed_path, const Result<FileSettings>& settings,
                               const ResultCache* cache) {
  auto source = read_text_file(listed_path);
  if (!source) return fail(std::move(source).error());
  if (!settings) return fail(settings.error());
  bool known = cache != nullptr && cache->known_final(*source, *settings);
  return SourceText{std::move(*source), known};
}

Result<ProcessedFile> finish_file(SourceText source, const FileSettings& settings, bool settle, Formatter& formatter,
                                  const Cancellation* cancel) {
  if (source.known_final) {
    FinalText final{source.text, 1, true};
    return ProcessedFile{std::move(source.text), std::move(final), true};
  }
  auto final = final_text(source.text, settings, settle, formatter, cancel);
  if (!final) return fail(std::move(final).error());
  return ProcessedFile{std::move(source.text), std::move(*final)};
}

Result<ProcessedFile> process_file(const std::string& listed_path, const Result<FileSettings>& settings, bool settle,
                                   Formatter& formatter, const Cancellation* cancel, const ResultCache* cache) {
  auto source = read_source(listed_path, settings, cache);
  if (!source) return fail(std::move(source).error());
  return finish_file(std::move(*source), *settings, settle, formatter, cancel);
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
