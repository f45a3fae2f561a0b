#pragma once
// `cargo metadata` answered once per change of what decides its answer. The
// packages, editions and workspace root that cargo reported are remembered
// in a DigestStore (util/digest_store.h), under a key of everything that
// decides them:
//   - the working directory (cargo runs there and reads its configuration
//     from there up) and the manifest path asked about;
//   - the bytes of every Cargo.toml, and of every .cargo/config(.toml), from
//     the manifest's folder and from the working directory up to the file
//     system root, and those of $CARGO_HOME (a missing one counts as
//     missing);
//   - the cargo that would run (driver/toolchain_program.h: through the
//     rustup proxy, the chosen toolchain's cargo file with its size and
//     time);
//   - the variables that change cargo's answer (CargoEnvironment).
// An entry also lists the files its answer came from beyond those: the
// Cargo.toml of every package reported, and of every folder above each up
// to the root, and (when the workspace's members are named by a pattern)
// the folders holding the members; it applies only while they are the same.
// The answer stays cargo's: only its own fields are kept. Failures are never
// remembered, and where the inputs can't be told (a cargo that is a script,
// a toolchain whose file is not found, a file that can't be read) cargo
// simply runs. A damaged or unwritable cache is a miss.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "driver/toolchain_program.h"
#include "util/digest_store.h"
#include "util/result.h"

namespace tersify::driver {

// What cargo's answer depends on in the environment, read at the start.
struct CargoEnvironment {
  // Every variable named CARGO* or RUSTUP* (CARGO_HOME, CARGO_TARGET_DIR,
  // the CARGO_* configuration overrides, RUSTUP_TOOLCHAIN, RUSTUP_HOME ...)
  // but this tool's own CARGO_TERSIFY_*, as "NAME=value" lines in name order.
  std::string variables;
  std::string cargo_home;  // $CARGO_HOME, else ~/.cargo; empty when unknown
  RustupEnvironment rustup;
  static CargoEnvironment of_process();
};

// The folder for remembered answers beside the result cache's
// ("cargo-tersify/metadata"); none when the cache is off.
std::optional<std::string> metadata_cache_folder();

// Answers kept at most; beyond them the least recently used go.
inline constexpr std::size_t max_remembered_answers = 1000;

class MetadataCache {
 public:
  MetadataCache(std::string folder, CargoEnvironment environment);
  MetadataCache(const MetadataCache&) = delete;
  MetadataCache& operator=(const MetadataCache&) = delete;
  // Now and then prunes the folder.
  ~MetadataCache();

  // The JSON that `run` gives, cargo metadata's answer for `manifest_path`
  // (none: the working directory's package), or the remembered answer when
  // every input is as it was then. `run`'s failure comes back as it is.
  Result<std::string> answer(const std::optional<std::string>& manifest_path,
                             const std::function<Result<std::string>()>& run) const;

 private:
  std::optional<std::string> key_of(const std::optional<std::string>& manifest_path) const;

  DigestStore store_;
  CargoEnvironment environment_;
  mutable ToolchainPrograms programs_;
};

// The cache that every cargo metadata run of this process goes through
// (driver/package_metadata.h) while this object lives, set by the program at
// its start; without one, cargo always runs.
class MetadataCacheInUse {
 public:
  explicit MetadataCacheInUse(const MetadataCache* cache);
  MetadataCacheInUse(const MetadataCacheInUse&) = delete;
  MetadataCacheInUse& operator=(const MetadataCacheInUse&) = delete;
  ~MetadataCacheInUse();

 private:
  const MetadataCache* before_;
};

const MetadataCache* metadata_cache_in_use();

}  // namespace tersify::driver
