#include "driver/result_cache.h"

#include <sys/stat.h>

#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include "util/digest.h"
#include "util/fs.h"
#include "util/paths.h"
#include "util/program_path.h"
#include "util/running_child.h"

namespace tersify::driver {
namespace {

constexpr const char* entry_magic = "cargo-tersify result 1";

// One run in this many prunes the folder.
constexpr unsigned prune_one_in = 32;

// A file's path, size and modification time, or none when it can't be
// looked at.
std::optional<std::string> file_stamp(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return path + " " + std::to_string(info.st_size) + " " + std::to_string(info.st_mtim.tv_sec) + "." +
         std::to_string(info.st_mtim.tv_nsec);
}

std::string environment_value(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return "unset";
  std::string text("=");
  text.append(value);
  return text;
}

// The configuration file rustfmt reads for the file (the one file_settings
// found) as key text: its name and bytes, or "none". None when it can't be
// read. Where it lies is left out, so that a copy of a project (a second
// worktree) shares its entries.
std::optional<std::string> config_key(const std::string& path) {
  if (path.empty()) return "none";
  auto text = read_regular_text_file(path);
  if (!text) return std::nullopt;
  std::string key;
  append_key_part(key, file_name(path).value_or(""));
  append_key_part(key, *text);
  return key;
}

// Everything of the run that results depend on besides the file and its
// settings; none when the rustfmt that would run can't be identified.
std::optional<std::string> run_identity() {
  std::string key;
  append_key_part(key, entry_magic);
  append_key_part(key, TERSIFY_VERSION);
  append_key_part(key, file_stamp("/proc/self/exe").value_or("unknown"));
  auto rustfmt = find_program_on_path("rustfmt");
  if (!rustfmt) return std::nullopt;
  auto stamp = file_stamp(*rustfmt);
  if (!stamp) return std::nullopt;
  append_key_part(key, *stamp);
  // A rustup proxy is the same file for every toolchain; the version it
  // reports in the working folder (where the runs' rustfmt starts) tells
  // them apart.
  append_key_part(key, environment_value("RUSTUP_TOOLCHAIN"));
  return key;
}

// What `rustfmt --version` says in `folder`: through a rustup proxy, the
// version of the toolchain chosen there.
std::optional<std::string> rustfmt_version_in(const std::string& folder) {
  auto child = RunningChild::start("rustfmt", {"--version"}, std::nullopt, folder);
  if (!child) return std::nullopt;
  auto version = child->finish();
  if (!version || !version->success()) return std::nullopt;
  return std::move(version->out);
}

bool prune_this_run() {
  std::random_device random;
  return random() % prune_one_in == 0;
}

}  // namespace

std::optional<std::string> result_cache_folder() {
  const char* switch_value = std::getenv("CARGO_TERSIFY_CACHE");
  if (switch_value != nullptr && std::string_view(switch_value) == "0") return std::nullopt;
  std::string base;
  const char* cache_home = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  if (cache_home != nullptr && *cache_home == '/') {
    base = cache_home;
  } else if (home != nullptr && *home != '\0') {
    base = join_path(home, ".cache");
  } else {
    return std::nullopt;
  }
  return join_path(join_path(base, "cargo-tersify"), "results");
}

ResultCache::ResultCache(std::string folder) : store_(std::move(folder), entry_magic) {
  std::promise<std::optional<std::string>> identity;
  identity_ = identity.get_future().share();
  worker_ = std::thread([this, identity = std::move(identity)]() mutable {
    auto here = canonical_path(".");
    auto key = run_identity();
    // The version of the toolchain chosen in the working folder, which most
    // runs' files share, is found while cargo metadata runs.
    if (key && here) {
      std::lock_guard lock(versions_mutex_);
      versions_.emplace(toolchains_.choice_for(*here), rustfmt_version_in(*here));
    }
    identity.set_value(std::move(key));
    if (prune_this_run()) store_.prune(max_cached_results);
  });
}

std::optional<std::string> ResultCache::rustfmt_version_for(const std::string& folder) const {
  std::string choice = toolchains_.choice_for(folder.empty() ? "." : folder);
  std::lock_guard lock(versions_mutex_);
  auto known = versions_.find(choice);
  if (known == versions_.end()) known = versions_.emplace(choice, rustfmt_version_in(folder)).first;
  return known->second;
}

ResultCache::~ResultCache() { worker_.join(); }

std::optional<std::string> ResultCache::digest(std::string_view text, const FileSettings& settings) const {
  auto shared = identity_;  // a copy per thread, as shared futures want
  const auto& identity = shared.get();
  if (!identity) return std::nullopt;
  auto config = config_key(settings.config_file);
  if (!config) return std::nullopt;
  auto version = rustfmt_version_for(settings.folder);
  if (!version) return std::nullopt;
  std::string key = *identity;
  append_key_part(key, *version);
  append_key_part(key, settings_key(settings));
  append_key_part(key, *config);
  append_key_part(key, text);
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
