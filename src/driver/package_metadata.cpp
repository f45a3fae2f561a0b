#include "driver/package_metadata.h"

#include <nlohmann/json.hpp>

#include "driver/metadata_cache.h"
#include "util/fs.h"
#include "util/paths.h"
#include "util/running_child.h"
#include "util/text.h"

namespace tersify::driver {
namespace {

// nlohmann's messages start with an identifier in brackets,
// "[json.exception.parse_error.101] parse error at line 1, column 3: ...";
// the rest is the description with line and column.
std::string parse_error_description(const char* what) {
  std::string_view text(what);
  if (text.starts_with('[')) {
    if (auto close = text.find("] "); close != std::string_view::npos) text.remove_prefix(close + 2);
  }
  return std::string(text);
}

}  // namespace

std::optional<std::string> package_root(std::string_view path) {
  for (auto& candidate : path_candidates(path)) {
    if (is_package_root(candidate)) return std::move(candidate);
  }
  return std::nullopt;
}

bool is_package_root(const std::string& folder) {
  return file_kind(join_path(folder, "Cargo.toml")) == FileKind::regular;
}

Status enter_packages(std::string_view metadata_json, EditionMap& editions) {
  nlohmann::json metadata;
  try {
    // The default parse is strict: one value, then only whitespace.
    metadata = nlohmann::json::parse(metadata_json);
  } catch (const nlohmann::json::exception& error) {
    return fail("invalid cargo metadata: " + parse_error_description(error.what()));
  }

  if (!metadata.is_object()) return fail("cargo metadata has no packages");
  auto packages = metadata.find("packages");
  if (packages == metadata.end() || !packages->is_array()) return fail("cargo metadata has no packages");

  for (const auto& package : *packages) {
    if (!package.is_object()) return fail("cargo package has no manifest_path");
    auto manifest = package.find("manifest_path");
    if (manifest == package.end() || !manifest->is_string()) return fail("cargo package has no manifest_path");
    auto edition = package.find("edition");
    if (edition == package.end() || !edition->is_string()) return fail("cargo package has no edition");
    auto canonical = canonical_path(manifest->get<std::string>());
    if (!canonical) return fail(std::move(canonical).error());
    editions.insert_or_assign(std::move(*canonical), edition->get<std::string>());
  }
  return {};
}

namespace {

// cargo metadata's JSON for the workspace of `manifest_path` (of the working
// directory when none is given), or the line that says why there is none.
// A remembered answer where the run keeps them (driver/metadata_cache.h).
Result<std::string> cargo_metadata(const std::optional<std::string>& manifest_path, const Cargo& cargo) {
  auto run = [&]() -> Result<std::string> {
    std::vector<std::string> args{"metadata", "--no-deps", "--offline", "--format-version", "1"};
    if (manifest_path) args.insert(args.end(), {"--manifest-path", *manifest_path});
    auto child = run_child(cargo.program, args, std::nullopt);
    if (!child) return fail("failed to run cargo metadata: " + std::move(child).error().message);
    if (!child->success()) return fail(lossy_utf8(child->err));
    return std::move(child->out);
  };
  if (cargo.remembered != nullptr) return cargo.remembered->answer(manifest_path, run);
  return run();
}

}  // namespace

Status load_packages(const std::string& manifest_path, EditionMap& editions, const Cargo& cargo) {
  auto metadata = cargo_metadata(manifest_path, cargo);
  if (!metadata) return fail(std::move(metadata).error());
  return enter_packages(*metadata, editions);
}

Result<Workspace> workspace_of(std::string_view metadata_json) {
  auto metadata = nlohmann::json::parse(metadata_json, nullptr, false);
  if (metadata.is_discarded()) return fail("invalid cargo metadata");
  if (!metadata.is_object()) return fail("cargo metadata has no packages");
  auto root = metadata.find("workspace_root");
  if (root == metadata.end() || !root->is_string()) return fail("cargo metadata has no workspace_root");
  auto packages = metadata.find("packages");
  if (packages == metadata.end() || !packages->is_array()) return fail("cargo metadata has no packages");
  Workspace workspace{.root = root->get<std::string>(), .members = {}};
  for (const auto& package : *packages) {
    if (!package.is_object()) return fail("cargo package has no manifest_path");
    auto name = package.find("name");
    if (name == package.end() || !name->is_string()) return fail("cargo package has no name");
    auto manifest = package.find("manifest_path");
    if (manifest == package.end() || !manifest->is_string()) return fail("cargo package has no manifest_path");
    workspace.members.push_back({name->get<std::string>(), manifest->get<std::string>()});
  }
  return workspace;
}

Result<Workspace> load_workspace(const std::optional<std::string>& manifest_path, EditionMap& editions,
                                 const Cargo& cargo) {
  auto metadata = cargo_metadata(manifest_path, cargo);
  if (!metadata) return fail(std::move(metadata).error());
  if (auto entered = enter_packages(*metadata, editions); !entered) return fail(std::move(entered).error());
  return workspace_of(*metadata);
}

}  // namespace tersify::driver
