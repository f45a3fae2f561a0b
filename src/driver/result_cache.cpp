#include "driver/result_cache.h"

#include <utility>
#include <vector>

#include "util/digest.h"
#include "util/file_stamp.h"
#include "util/fs.h"
#include "util/paths.h"

namespace tersify::driver {
namespace {

constexpr const char* entry_magic = "cargo-tersify result 1";

// The configuration file rustfmt reads for the file (the one SettingsLookup
// found) as key text: its name and bytes, or "none". None when it can't be
// read. Where it lies is left out, so that a copy of a project (a second
// worktree) shares its entries.
std::optional<std::string> read_config_key(const std::string& path) {
  if (path.empty()) return "none";
  auto text = read_regular_text_file(path);
  if (!text) return std::nullopt;
  std::string key;
  append_key_part(key, file_name(path).value_or(""));
  append_key_part(key, *text);
  return key;
}

// This tool's build: the same text formats alike only under the same
// compaction.
std::string tool_identity() {
  std::string key;
  append_key_part(key, entry_magic);
  append_key_part(key, TERSIFY_VERSION);
  append_key_part(key, file_stamp("/proc/self/exe").value_or("unknown"));
  return key;
}

}  // namespace

std::optional<std::string> result_cache_folder(const Environment& environment) {
  if (!environment.cache) return std::nullopt;
  std::string base;
  if (environment.cache_home) {
    base = *environment.cache_home;
  } else if (environment.home) {
    base = join_path(*environment.home, ".cache");
  } else {
    return std::nullopt;
  }
  return join_path(join_path(base, "cargo-tersify"), "results");
}

ResultCache::ResultCache(std::string folder, const Environment& environment)
    : store_(std::move(folder), entry_magic), tool_identity_(tool_identity()), rustfmt_(environment) {
  if (DigestStore::prune_this_run()) pruner_ = std::thread([this] { store_.prune(max_cached_results); });
}

std::optional<std::string> ResultCache::config_key(const std::string& path) const {
  std::lock_guard lock(configs_mutex_);
  auto known = configs_.find(path);
  if (known == configs_.end()) known = configs_.emplace(path, read_config_key(path)).first;
  return known->second;
}

ResultCache::~ResultCache() {
  if (pruner_.joinable()) pruner_.join();
}

std::optional<std::string> ResultCache::digest(std::string_view text, const FileSettings& settings) const {
  auto config = config_key(settings.config_file);
  if (!config) return std::nullopt;
  auto rustfmt = rustfmt_.for_folder(settings.folder);
  if (!rustfmt) return std::nullopt;
  std::string key = tool_identity_;
  append_key_part(key, *rustfmt);
  append_key_part(key, settings_key(settings));
  append_key_part(key, *config);
  // The text by its digest: no copy of it.
  append_key_part(key, hex_digest(text));
  return hex_digest(key);
}

bool ResultCache::known_final(std::string_view text, const FileSettings& settings) const {
  auto found = digest(text, settings);
  return found && store_.contains(*found);
}

void ResultCache::record(std::string_view text, const FileSettings& settings) const {
  if (auto found = digest(text, settings)) store_.add(*found);
}

}  // namespace tersify::driver
