#include "driver/metadata_cache.h"

#include <unistd.h>

#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <utility>
#include <vector>

#include "driver/result_cache.h"
#include "util/digest.h"
#include "util/file_stamp.h"
#include "util/fs.h"
#include "util/paths.h"

extern char** environ;

namespace tersify::driver {
namespace {

constexpr const char* entry_magic = "cargo-tersify metadata 1";

const MetadataCache* cache_in_use = nullptr;

// Files by path with what they held (file_contents_key); false once one
// can't be read.
struct Inputs {
  std::map<std::string, std::string> files;
  bool known = true;
  void add(const std::string& path) {
    if (!known || files.contains(path)) return;
    auto contents = file_contents_key(path);
    if (contents) {
      files.emplace(path, std::move(*contents));
    } else {
      known = false;
    }
  }
  // `names` in `folder` (absolute) and in every folder above it.
  void add_up_from(const std::string& folder, std::initializer_list<const char*> names) {
    for (const auto& candidate : path_candidates(folder)) {
      for (const char* name : names) add(join_path(candidate, name));
    }
  }
  // Both the path as given and its canonical form: cargo may walk either.
  void add_up_from_both(const std::string& folder, std::initializer_list<const char*> names) {
    add_up_from(folder, names);
    if (auto canonical = canonical_path(folder); canonical && *canonical != folder) add_up_from(*canonical, names);
  }
};

constexpr std::initializer_list<const char*> manifest_names = {"Cargo.toml"};
constexpr std::initializer_list<const char*> cargo_files = {"Cargo.toml", ".cargo/config", ".cargo/config.toml"};

// cargo's answer with only what the tool reads of it, or none when a field
// is missing (the answer then goes on as it is, to fail as it would).
std::optional<nlohmann::json> own_fields(const std::string& metadata_json) {
  auto metadata = nlohmann::json::parse(metadata_json, nullptr, false);
  if (!metadata.is_object() || !metadata.contains("workspace_root") || !metadata["workspace_root"].is_string() ||
      !metadata.contains("packages") || !metadata["packages"].is_array()) {
    return std::nullopt;
  }
  nlohmann::json packages = nlohmann::json::array();
  for (const auto& package : metadata["packages"]) {
    nlohmann::json kept = nlohmann::json::object();
    for (const char* field : {"name", "manifest_path", "edition"}) {
      if (!package.is_object() || !package.contains(field) || !package[field].is_string()) return std::nullopt;
      kept[field] = package[field];
    }
    packages.push_back(std::move(kept));
  }
  return nlohmann::json{{"workspace_root", metadata["workspace_root"]}, {"packages", std::move(packages)}};
}

// The files that the answer came from beyond the key's, and the folders
// whose listing decides members named by a pattern, as the entry to store.
std::optional<nlohmann::json> entry_for(nlohmann::json answer) {
  Inputs inputs;
  std::map<std::string, std::string> folders;
  std::string root = answer["workspace_root"].get<std::string>();
  auto root_manifest = read_file(join_path(root, "Cargo.toml"));
  bool patterns = root_manifest && root_manifest->find_first_of("*?") != std::string::npos;
  for (const auto& package : answer["packages"]) {
    auto folder = parent_path(package["manifest_path"].get<std::string>());
    if (!folder) return std::nullopt;
    inputs.add_up_from_both(*folder, manifest_names);
    if (auto above = parent_path(*folder); patterns && above) {
      auto stamp = file_stamp(*above);
      if (!stamp) return std::nullopt;
      folders.emplace(*above, std::move(*stamp));
    }
  }
  if (!inputs.known) return std::nullopt;
  return nlohmann::json{{"answer", std::move(answer)}, {"files", inputs.files}, {"folders", folders}};
}

// The entry's answer while every file and folder it lists is as it was.
std::optional<std::string> answer_of(const std::string& entry_text) {
  auto entry = nlohmann::json::parse(entry_text, nullptr, false);
  if (!entry.is_object() || !entry.contains("answer") || !entry.contains("files") || !entry.contains("folders")) {
    return std::nullopt;
  }
  try {
    for (const auto& [path, contents] : entry["files"].get<std::map<std::string, std::string>>()) {
      if (file_contents_key(path) != contents) return std::nullopt;
    }
    for (const auto& [path, stamp] : entry["folders"].get<std::map<std::string, std::string>>()) {
      if (file_stamp(path) != stamp) return std::nullopt;
    }
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
  return entry["answer"].dump();
}

std::optional<std::string> variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

}  // namespace

CargoEnvironment CargoEnvironment::of_process() {
  CargoEnvironment environment;
  std::map<std::string, std::string> chosen;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    std::string_view name = text.substr(0, text.find('='));
    if ((name.starts_with("CARGO") || name.starts_with("RUSTUP")) && !name.starts_with("CARGO_TERSIFY_")) {
      chosen.emplace(std::string(name), std::string(text));
    }
  }
  for (const auto& [name, line] : chosen) environment.variables += line + "\n";
  if (auto home = variable("CARGO_HOME")) {
    environment.cargo_home = *home;
  } else if (auto user_home = variable("HOME")) {
    environment.cargo_home = join_path(*user_home, ".cargo");
  }
  environment.rustup = RustupEnvironment::of_process();
  return environment;
}

std::optional<std::string> metadata_cache_folder() {
  auto results = result_cache_folder();
  if (!results) return std::nullopt;
  return join_path(parent_path(*results).value_or("."), "metadata");
}

MetadataCache::MetadataCache(std::string folder, CargoEnvironment environment)
    : store_(std::move(folder), entry_magic), environment_(std::move(environment)), programs_(environment_.rustup) {}

MetadataCache::~MetadataCache() {
  // One run in this many prunes.
  constexpr unsigned prune_one_in = 32;
  std::random_device random;
  if (random() % prune_one_in == 0) store_.prune(max_remembered_answers);
}

std::optional<std::string> MetadataCache::key_of(const std::optional<std::string>& manifest_path) const {
  auto cwd = canonical_path(".");
  if (!cwd) return std::nullopt;
  auto cargo = programs_.identity("cargo", *cwd);
  if (!cargo) return std::nullopt;
  Inputs inputs;
  inputs.add_up_from(*cwd, cargo_files);
  if (manifest_path) {
    std::string absolute = manifest_path->starts_with('/') ? *manifest_path : join_path(*cwd, *manifest_path);
    if (auto folder = parent_path(absolute)) inputs.add_up_from_both(*folder, cargo_files);
  }
  if (!environment_.cargo_home.empty()) {
    inputs.add(join_path(environment_.cargo_home, "config"));
    inputs.add(join_path(environment_.cargo_home, "config.toml"));
  }
  if (!inputs.known) return std::nullopt;
  std::string key;
  append_key_part(key, entry_magic);
  append_key_part(key, *cwd);
  append_key_part(key, manifest_path ? "manifest " + *manifest_path : std::string("no manifest"));
  append_key_part(key, environment_.variables);
  append_key_part(key, *cargo);
  for (const auto& [path, contents] : inputs.files) {
    append_key_part(key, path);
    append_key_part(key, contents);
  }
  return hex_digest(key);
}

Result<std::string> MetadataCache::answer(const std::optional<std::string>& manifest_path,
                                          const std::function<Result<std::string>()>& run) const {
  auto key = key_of(manifest_path);
  if (!key) return run();
  if (auto entry = store_.find(*key)) {
    if (auto remembered = answer_of(*entry)) return std::move(*remembered);
  }
  auto answer = run();
  if (!answer) return answer;
  if (auto kept = own_fields(*answer)) {
    if (auto entry = entry_for(std::move(*kept))) store_.put(*key, entry->dump());
  }
  return answer;
}

MetadataCacheInUse::MetadataCacheInUse(const MetadataCache* cache) : before_(cache_in_use) { cache_in_use = cache; }

MetadataCacheInUse::~MetadataCacheInUse() { cache_in_use = before_; }

const MetadataCache* metadata_cache_in_use() { return cache_in_use; }

}  // namespace tersify::driver
