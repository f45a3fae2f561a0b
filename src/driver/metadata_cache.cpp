#include "driver/metadata_cache.h"

#include <unistd.h>

#include <map>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "driver/result_cache.h"
#include "util/digest.h"
#include "util/file_stamp.h"
#include "util/fs.h"
#include "util/paths.h"

namespace tersify::driver {
namespace {

constexpr const char* entry_magic = "cargo-tersify metadata 1";

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

}  // namespace

std::optional<std::string> metadata_cache_folder(const Environment& environment) {
  auto results = result_cache_folder(environment);
  if (!results) return std::nullopt;
  return join_path(parent_path(*results).value_or("."), "metadata");
}

MetadataCache::MetadataCache(std::string folder, const Environment& environment)
    : store_(std::move(folder), entry_magic), cargo_variables_(environment.cargo_variables), programs_(environment) {
  if (environment.cargo_home) {
    cargo_home_ = *environment.cargo_home;
  } else if (environment.home) {
    cargo_home_ = join_path(*environment.home, ".cargo");
  }
}

MetadataCache::~MetadataCache() {
  if (DigestStore::prune_this_run()) store_.prune(max_remembered_answers);
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
  if (!cargo_home_.empty()) {
    inputs.add(join_path(cargo_home_, "config"));
    inputs.add(join_path(cargo_home_, "config.toml"));
  }
  if (!inputs.known) return std::nullopt;
  std::string key;
  append_key_part(key, entry_magic);
  append_key_part(key, *cwd);
  append_key_part(key, manifest_path ? "manifest " + *manifest_path : std::string("no manifest"));
  append_key_part(key, cargo_variables_);
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

}  // namespace tersify::driver
