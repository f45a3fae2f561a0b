#include "driver/result_cache.h"

#include <random>
#include <utility>
#include <vector>

#include "util/digest.h"
#include "util/fs.h"
#include "util/paths.h"

namespace tersify::driver {
namespace {

constexpr const char* entry_magic = "cargo-tersify result 1";

// One run in this many prunes the folder.
constexpr unsigned prune_one_in = 32;

// The configuration file rustfmt reads for the file (the one SettingsLookup
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

// Everything of the run that results depend on besides the file, its
// settings and the version of its rustfmt; none when the rustfmt that would
// run can't be identified.
std::optional<std::string> run_identity(const RustfmtIdentity& rustfmt) {
  std::string key;
  append_key_part(key, entry_magic);
  append_key_part(key, TERSIFY_VERSION);
  append_key_part(key, file_stamp("/proc/self/exe").value_or("unknown"));
  auto program = rustfmt.program_key();
  if (!program) return std::nullopt;
  append_key_part(key, *program);
  return key;
}

bool prune_this_run() {
  std::random_device random;
  return random() % prune_one_in == 0;
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
    : store_(std::move(folder), entry_magic), rustfmt_(environment) {
  std::promise<std::optional<std::string>> identity;
  identity_ = identity.get_future().share();
  worker_ = std::thread([this, identity = std::move(identity)]() mutable {
    auto here = canonical_path(".");
    auto key = run_identity(rustfmt_);
    // The version of the toolchain chosen in the working folder, which most
    // runs' files share, is found while cargo metadata runs.
    if (key && here) (void)rustfmt_.version_in(*here);
    identity.set_value(std::move(key));
    if (prune_this_run()) store_.prune(max_cached_results);
  });
}

ResultCache::~ResultCache() { worker_.join(); }

std::optional<std::string> ResultCache::digest(std::string_view text, const FileSettings& settings) const {
  auto shared = identity_;  // a copy per thread, as shared futures want
  const auto& identity = shared.get();
  if (!identity) return std::nullopt;
  auto config = config_key(settings.config_file);
  if (!config) return std::nullopt;
  auto version = rustfmt_.version_in(settings.folder);
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
