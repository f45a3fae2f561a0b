#pragma once
// Every environment variable the tool reads, read once at start by
// read_environment and handed down from there: no code deeper down reads
// the environment. Children still inherit it unchanged.
//
// The tool's own variables tune how a run gets its results; none of them
// changes the results:
//
//   CARGO_TERSIFY_JOBS=N         files in flight at once (a positive integer;
//                                default: the CPUs this process may use)
//   CARGO_TERSIFY_FORK_SERVER=0  rustfmt started afresh for every run
//   CARGO_TERSIFY_BATCH=0        every text formatted by a rustfmt run of its
//                                own (driver/rustfmt_batch.h)
//   CARGO_TERSIFY_CACHE=0        no result cache (driver/result_cache.h), and
//                                cargo metadata runs every time
//                                (driver/metadata_cache.h)
//   CARGO_TERSIFY_STATS=PATH     counts of the run written to PATH at its end
//
// The others are read to do what the programs they belong to do: find
// programs as execvp does (PATH), put scratch files where other tools put
// them (TMPDIR), find the configuration rustfmt reads (HOME,
// XDG_CONFIG_HOME) and the toolchain rustup picks (RUSTUP_TOOLCHAIN,
// RUSTUP_HOME), keep the cache where caches go (XDG_CACHE_HOME, HOME). Every
// variable that may change what `cargo metadata` answers (CARGO*, RUSTUP*)
// is kept as the remembered answers' key (driver/metadata_cache.h).

#include <optional>
#include <string>

#include "util/program_path.h"

namespace tersify::driver {

struct Environment {
  std::optional<std::string> jobs;        // CARGO_TERSIFY_JOBS as given (checked by cargo-tersify)
  bool fork_server = true;                // CARGO_TERSIFY_FORK_SERVER is not "0"
  bool batches = true;                    // CARGO_TERSIFY_BATCH is not "0"
  bool cache = true;                      // CARGO_TERSIFY_CACHE is not "0"
  std::optional<std::string> stats_path;  // CARGO_TERSIFY_STATS

  std::string search_path = default_search_path;  // PATH, when set
  std::string temp_folder = "/tmp";               // TMPDIR, when an absolute path
  std::optional<std::string> home;                // HOME, when not empty
  std::optional<std::string> config_home;         // XDG_CONFIG_HOME, when not empty
  std::optional<std::string> cache_home;          // XDG_CACHE_HOME, when an absolute path
  std::optional<std::string> rustup_home;         // RUSTUP_HOME, when not empty
  std::optional<std::string> rustup_toolchain;    // RUSTUP_TOOLCHAIN, when set (even empty)
  std::optional<std::string> cargo_home;          // CARGO_HOME, when not empty
  // Every variable named CARGO* or RUSTUP* but the tool's own
  // CARGO_TERSIFY_*, as "NAME=value" lines in name order.
  std::string cargo_variables;

  // A program as this environment finds it.
  Program program(std::string name) const { return {std::move(name), search_path}; }
};

// The variables of this process.
Environment read_environment();

}  // namespace tersify::driver
