#include "driver/rustfmt_batch.h"

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
  std::vector<std::size_t> starts;  // where each text starts
  std::vector<std::size_t> headers;
  for (const auto& file : files) {
    std::string header = file + ":\n\n";
    std::size_t at = output.find(header);
    if (at == std::string_view::npos || output.find(header, at + 1) != std::string_view::npos) return std::nullopt;
    if (headers.empty() ? at != 0 : at < starts.back()) return std::nullopt;
    headers.push_back(at);
    starts.push_back(at + header.size());
  }
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::size_t end = i + 1 < files.size() ? headers[i + 1] : output.size();
    texts.emplace_back(output.substr(starts[i], end - starts[i]));
  }
  return texts;
}

BatchResult run_batch(const BatchSetup& setup, std::span<const std::string_view> texts, const FileSettings& settings,
                      ForkServer* server, int cancel_fd) {
  const std::string& token = setup.token;
  BatchResult result{std::vector<std::optional<std::string>>(texts.size()), false};
  if (texts.empty() || texts.size() > batch_slots) return result;
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
  // A served run names every slot; a plain start only the texts, by path.
  auto names = batch_names(token, server != nullptr ? batch_slots : texts.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!folder->write(names[i], i < texts.size() ? texts[i] : std::string_view())) {
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
    auto run = ServedRun::start(*server, std::nullopt, folder->path());
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
  if (!exit->success()) return result;
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
