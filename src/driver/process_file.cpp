#include "driver/process_file.h"

#include <optional>
#include <utility>

namespace tersify::driver {

Result<SourceText> read_source(const std::string& listed_path, const Result<FileSettings>& settings,
                               std::span<const std::string> roots) {
  RegularTextReader reader(roots);
  return read_source(listed_path, settings, reader);
}

Result<SourceText> read_source(const std::string& listed_path, const Result<FileSettings>& settings,
                               RegularTextReader& reader) {
  auto read = reader.read(listed_path);
  if (!read) return fail(std::move(read).error());
  if (!settings) return fail(settings.error());
  return SourceText{std::move(read->text), read->identity, read->state};
}

Result<ProcessedFile> process_file(SourceText source, const FileSettings& settings, const Pipeline& pipeline) {
  std::optional<Result<ProcessedFile>> outcome;
  std::vector<GroupMember> one;
  one.push_back({std::move(source), &settings});
  process_group(std::move(one), pipeline,
                [&](std::size_t, Result<ProcessedFile> processed) { outcome = std::move(processed); });
  return std::move(*outcome);
}

Result<ProcessedFile> process_file(const std::string& listed_path, const Result<FileSettings>& settings,
                                   const Pipeline& pipeline, std::span<const std::string> roots) {
  auto source = read_source(listed_path, settings, roots);
  if (!source) return fail(std::move(source).error());
  return process_file(std::move(*source), *settings, pipeline);
}

std::optional<ProcessedFile> known_final_file(SourceText& source, const FileSettings& settings,
                                              const Pipeline& pipeline) {
  if (pipeline.cache == nullptr || !pipeline.cache->known_final(source.text, settings)) return std::nullopt;
  FinalText final{source.text, 1, true};
  return ProcessedFile{std::move(source.text), source.identity, std::move(final), true, source.state};
}

void process_group(std::vector<GroupMember> files, const Pipeline& pipeline,
                   const std::function<void(std::size_t, Result<ProcessedFile>)>& done) {
  std::vector<std::size_t> formatting;  // indices of the files the cache does not know
  std::vector<GroupMember> unknown;
  for (std::size_t i = 0; i < files.size(); ++i) {
    auto& [source, settings] = files[i];
    if (auto known = known_final_file(source, *settings, pipeline)) {
      done(i, std::move(*known));
      continue;
    }
    formatting.push_back(i);
    unknown.push_back(std::move(files[i]));
  }
  format_group(std::move(unknown), pipeline,
               [&](std::size_t k, Result<ProcessedFile> outcome) { done(formatting[k], std::move(outcome)); });
}

void format_group(std::vector<GroupMember> files, const Pipeline& pipeline,
                  const std::function<void(std::size_t, Result<ProcessedFile>)>& done) {
  std::vector<FinalTextRequest> requests;
  requests.reserve(files.size());
  for (const auto& [source, settings] : files) requests.push_back({source.text, settings});
  final_texts(requests, pipeline.settle, pipeline.formatter, pipeline.cancel,
              [&](std::size_t i, Result<FinalText> final) {
                if (!final) return done(i, fail(std::move(final).error()));
                SourceText& source = files[i].source;
                done(i, ProcessedFile{std::move(source.text), source.identity, std::move(*final), false, source.state});
              });
}

void remember_final_text(const ProcessedFile& file, const FileSettings& settings, const ResultCache* cache) {
  if (cache != nullptr && file.final.fixed_point && !file.cached) cache->record(file.final.text, settings);
}

}  // namespace tersify::driver
