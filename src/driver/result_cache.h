#pragma once
// The results of earlier runs: which texts are known to be their own final
// text. A file whose exact bytes are such a text, under the same settings,
// configuration, rustfmt and tool, is not formatted again: its final text is
// itself, in one pass.
//
// An entry's key holds everything the result depends on: the text, the
// file's settings (settings_key), the bytes of the rustfmt configuration that
// rustfmt finds for the file, the rustfmt that would run in the file's
// folder (driver/rustfmt_identity.h: the file of the toolchain that rustup
// chooses there, with its size and time) and this tool's build (version, its
// own executable's size and time). Entries live in a DigestStore
// (util/digest_store.h), so a damaged or unwritable cache is a miss and never
// a failure.

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "driver/environment.h"
#include "driver/file_settings.h"
#include "driver/rustfmt_identity.h"
#include "util/digest_store.h"

namespace tersify::driver {

// The cache's folder: "cargo-tersify/results" in $XDG_CACHE_HOME (when it is
// an absolute path), else in ~/.cache. None when CARGO_TERSIFY_CACHE is "0"
// or there is no home folder.
std::optional<std::string> result_cache_folder(const Environment& environment);

// Entries kept at most; beyond them the least recently used go.
inline constexpr std::size_t max_cached_results = 20000;

class ResultCache {
 public:
  // The rustfmt of each folder as `environment` finds it. Now and then
  // prunes the folder, on a thread of its own.
  ResultCache(std::string folder, const Environment& environment);
  ResultCache(const ResultCache&) = delete;
  ResultCache& operator=(const ResultCache&) = delete;
  ~ResultCache();

  // Whether `text`, the bytes of a file with `settings` (whose folder
  // decides the configuration and the toolchain), is known to be its own
  // final text. False whenever that can't be known. Thread-safe.
  bool known_final(std::string_view text, const FileSettings& settings) const;

  // Notes that `text` is its own final text for a file with `settings`: the
  // pipeline gives it back unchanged. Best effort.
  void record(std::string_view text, const FileSettings& settings) const;

 private:
  std::optional<std::string> digest(std::string_view text, const FileSettings& settings) const;
  // The configuration file's part of the key, read once per run.
  std::optional<std::string> config_key(const std::string& path) const;

  DigestStore store_;
  std::string tool_identity_;
  mutable std::mutex configs_mutex_;
  mutable std::map<std::string, std::optional<std::string>> configs_;
  mutable RustfmtIdentity rustfmt_;
  std::thread pruner_;  // joined by the destructor
};

}  // namespace tersify::driver
