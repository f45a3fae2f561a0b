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
//   - the variables that may change cargo's answer (every CARGO* and RUSTUP*
//     variable: Environment::cargo_variables).
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

#include "driver/environment.h"
#include "driver/toolchain_program.h"
#include "util/digest_store.h"
#include "util/result.h"

namespace tersify::driver {

// The folder for remembered answers beside the result cache's
// ("cargo-tersify/metadata"); none when the cache is off.
std::optional<std::string> metadata_cache_folder(const Environment& environment);

// Answers kept at most; beyond them the least recently used go.
inline constexpr std::size_t max_remembered_answers = 1000;

class MetadataCache {
 public:
  // Programs and cargo's own files as `environment` finds them.
  MetadataCache(std::string folder, const Environment& environment);
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
  std::string cargo_variables_;
  std::string cargo_home_;  // $CARGO_HOME, else ~/.cargo; empty when unknown
  mutable ToolchainPrograms programs_;
};

}  // namespace tersify::driver
