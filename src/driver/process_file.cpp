#include "driver/process_file.h"

#include <utility>

#include "util/paths.h"

namespace tersify::driver {

Result<SourceText> take_source(ReadText read, const Result<FileSettings>& settings, const ResultCache* cache) {
  if (!settings) return fail(settings.error());
  bool known = cache != nullptr && cache->known_final(read.text, *settings);
  return SourceText{std::move(read.text), read.identity, known};
}

Result<SourceText> read_source(const std::string& listed_path, const Result<FileSettings>& settings,
                               const ResultCache* cache, std::span<const std::string> roots) {
  auto read = read_regular_text(listed_path, roots);
  if (!read) return fail(std::move(read).error());
  return take_source(std::move(*read), settings, cache);
}

Result<ProcessedFile> finish_file(SourceText source, const FileSettings& settings, bool settle, Formatter& formatter,
                                  const Cancellation* cancel) {
  if (source.known_final) {
    FinalText final{source.text, 1, true};
    return ProcessedFile{std::move(source.text), source.identity, std::move(final), true};
  }
  auto final = final_text(source.text, settings, settle, formatter, cancel);
  if (!final) return fail(std::move(final).error());
  return ProcessedFile{std::move(source.text), source.identity, std::move(*final)};
}

Result<ProcessedFile> process_file(const std::string& listed_path, const Result<FileSettings>& settings, bool settle,
                                   Formatter& formatter, const Cancellation* cancel, const ResultCache* cache,
                                   std::span<const std::string> roots) {
  auto source = read_source(listed_path, settings, cache, roots);
  if (!source) return fail(std::move(source).error());
  return finish_file(std::move(*source), *settings, settle, formatter, cancel);
}

Result<void, ReplaceError> record_file(const std::string& listed_path, const ProcessedFile& file, bool check,
                                       ReformatList& reformat_list, std::span<const std::string> roots) {
  if (file.final.text == file.source) return {};

  if (check) {
    if (reformat_list.keep_texts) {
      reformat_list.files.push_back({listed_path, file.source, file.final.text});
    } else {
      reformat_list.files.push_back({listed_path, {}, {}});
    }
    return {};
  }
  return replace_read_file(listed_path, file.final.text, file.identity, file.source, roots);
}

}  // namespace tersify::driver
