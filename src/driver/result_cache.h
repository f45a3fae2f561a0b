#pragma once
// The results of earlier runs: which texts are known to be their own final
// text. A file whose exact bytes are such a text, under the same settings,
// configuration, rustfmt and tool, is not formatted again: its final text is
// itself, in one pass.
//
// An entry's key holds everything the result depends on: the text, the
// file's settings (settings_key), the bytes of the rustfmt configuration that
// rustfmt finds for the file, the rustfmt that would run (its file on PATH
// with size and time, RUSTUP_TOOLCHAIN, and its --version output for the
// toolchain that rustup chooses in the file's folder) and this tool's build (version, its own
// executable's size and time). Entries live in a DigestStore
// (util/digest_store.h), so a damaged or unwritable cache is a miss and never
// a failure.

#include <cstddef>
#include <future>
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
  // Starts working out the run's rustfmt and tool identity on a thread of
  // its own (running `rustfmt --version` takes a while); the first lookup
  // waits for it. Now and then also prunes the folder on that thread.
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

  DigestStore store_;
  mutable RustfmtIdentity rustfmt_;
  std::shared_future<std::optional<std::string>> identity_;  // none: no cache this run
  std::thread worker_;                                       // joined by the destructor
};

}  // namespace tersify::driver
