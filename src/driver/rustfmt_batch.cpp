#include "driver/rustfmt_batch.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "fork_server/served_run.h"
#include "util/paths.h"
#include "util/running_child.h"
#include "util/scratch_folder.h"
#include "util/text.h"

namespace tersify::driver {

bool may_be_passed_over(std::string_view text) {
  return text.find("#!") != std::string_view::npos &&
         (text.find("rustfmt::skip") != std::string_view::npos || text.find("rustfmt_skip") != std::string_view::npos);
}

std::vector<std::string> batch_names(std::string_view token, std::size_t count) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < count; ++i) names.push_back(std::string(token) + "-" + std::to_string(i) + ".rs");
  return names;
}

std::string batch_config_name(std::string_view token) { return std::string(token) + "-rustfmt.toml"; }

std::vector<std::string> batch_args(const FileSettings& settings, const std::vector<std::string>& files,
                                    const std::string& empty_config) {
  auto args = rustfmt_args(settings, "skip_children=true");
  args.push_back("--config-path");
  args.push_back(settings.config_file.empty() ? empty_config : settings.config_file);
  args.insert(args.end(), files.begin(), files.end());
  return args;
}

std::optional<std::vector<std::string>> split_batch_output(std::string_view output,
                                                           const std::vector<std::string>& files) {
  // Every header ends with ":\n\n": one pass over those ends finds each
  // place where any file's header stands, however many files there are.
  constexpr std::string_view end = ":\n\n";
  std::unordered_map<std::string_view, std::size_t> index;
  std::vector<std::size_t> lengths;  // of the names, each once
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (!index.emplace(files[i], i).second) return std::nullopt;
    if (std::find(lengths.begin(), lengths.end(), files[i].size()) == lengths.end()) lengths.push_back(files[i].size());
  }
  std::vector<std::size_t> headers(files.size(), std::string_view::npos);
  for (std::size_t at = output.find(end); at != std::string_view::npos; at = output.find(end, at + 1)) {
    for (std::size_t length : lengths) {
      if (length > at) continue;
      auto named = index.find(output.substr(at - length, length));
      if (named == index.end()) continue;
      // A header twice: one of them is inside a text.
      if (headers[named->second] != std::string_view::npos) return std::nullopt;
      headers[named->second] = at - length;
    }
  }
  std::vector<std::size_t> starts;  // where each text starts
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (headers[i] == std::string_view::npos) return std::nullopt;
    if (i == 0 ? headers[i] != 0 : headers[i] < starts.back()) return std::nullopt;
    starts.push_back(headers[i] + files[i].size() + end.size());
  }
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::size_t text_end = i + 1 < files.size() ? headers[i + 1] : output.size();
    texts.emplace_back(output.substr(starts[i], text_end - starts[i]));
  }
  return texts;
}

BatchResult run_batch(const BatchSetup& setup, std::span<const std::string_view> texts, const FileSettings& settings,
                      ForkServer* server, int cancel_fd) {
  const std::string& token = setup.token;
  BatchResult result;
  result.texts.resize(texts.size());
  if (texts.empty()) return result;
  auto folder = ScratchFolder::create(setup.temp_folder, "cargo-tersify-");
  // rustfmt would print a name that is not UTF-8 changed, and no batch
  // could ever split.
  if (!folder || !is_valid_utf8(folder->path())) {
    result.no_folder = true;
    return result;
  }
  std::string config_name = batch_config_name(token);
  if (settings.config_file.empty() && !folder->write(config_name, "")) {
    result.no_folder = true;
    return result;
  }
  auto names = batch_names(token, texts.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!folder->write(names[i], texts[i])) {
      result.no_folder = true;
      return result;
    }
  }

  // rustfmt names each file by its absolute path, relative names joined to
  // its working directory.
  std::vector<std::string> paths;
  for (const auto& name : names) paths.push_back(join_path(folder->path(), name));
  std::optional<ChildExit> exit;
  if (server != nullptr) {
    // By name in the scratch folder, which keeps the request short.
    auto run = ServedRun::start(*server, batch_args(settings, names, config_name), std::nullopt, folder->path());
    auto finished = run ? run->finish(cancel_fd) : Result<ChildExit, ServedRunError>(fail(std::move(run).error()));
    if (!finished) {
      result.server_lost = finished.error().server_lost;
      return result;
    }
    exit = std::move(*finished);
  } else {
    // In the files' folder, for the toolchain that a plain start there gets.
    auto child = RunningChild::start(setup.rustfmt, batch_args(settings, paths, join_path(folder->path(), config_name)),
                                     std::nullopt, settings.folder);
    if (!child) return result;
    auto finished = child->finish(cancel_fd);
    if (!finished) return result;
    exit = std::move(*finished);
  }
  if (!exit->success()) {
    // No name is part of another ("{token}-1.rs" of "{token}-10.rs"), and
    // no text's own words can be one: the token is random.
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (exit->err.find(names[i]) != std::string::npos) result.named.push_back(i);
    }
    return result;
  }
  auto split = split_batch_output(exit->out, paths);
  if (!split) return result;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    // rustfmt never formats code to nothing; the single run says what went wrong.
    if ((*split)[i].empty() && !only_ascii_whitespace(texts[i])) continue;
    result.texts[i] = lossy_utf8((*split)[i]);
  }
  return result;
}

}  // namespace tersify::driver
