// Every way of getting a result must give the plain pipeline's result, byte
// for byte: one file at a time, rustfmt started afresh for every text. On
// copies of a real crate, each way runs the tool and the whole outcome is
// compared: every file and link of the tree, standard output, standard error
// and the exit status. The failure case puts a file that rustfmt rejects in
// the middle of the list, with files listed twice and linked files around
// it, so that the failure meets later files in flight; it is repeated to
// shake out races (CARGO_TERSIFY_TEST_REPEATS, default 1; more in CI). The scheduler's
// promises for every kind of failure are tested in process
// (tests/driver/scheduler_test.cpp); these runs are the end-to-end proof.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "e2e/outcome.h"
#include "e2e/project.h"
#include "support/tree.h"

namespace tersify::test {
namespace {

struct Way {
  const char* name;
  std::vector<std::string> env;
  bool side_by_side = false;  // the failure case runs these, the all-cores one repeatedly
};

const Way plain{"plain", {"CARGO_TERSIFY_JOBS=1", "CARGO_TERSIFY_FORK_SERVER=0", "CARGO_TERSIFY_BATCH=0"}};

const Way other_ways[] = {
    {"one at a time, fork server", {"CARGO_TERSIFY_JOBS=1", "CARGO_TERSIFY_BATCH=0"}},
    {"one worker, served batches", {"CARGO_TERSIFY_JOBS=1"}},
    {"all cores, served batches", {}, true},
    {"16 jobs, batches started afresh", {"CARGO_TERSIFY_JOBS=16", "CARGO_TERSIFY_FORK_SERVER=0"}, true},
    {"batches without a place for their files", {"TMPDIR=/nonexistent"}},
};

Outcome run_way(const std::string& pristine, const std::vector<std::string>& args, const Way& way) {
  TempDir dir;
  copy_tree(pristine, dir.path());
  CommandOptions options;
  options.env = way.env;
  return outcome_in(dir.path(), args, options);
}

int repeats() {
  const char* value = std::getenv("CARGO_TERSIFY_TEST_REPEATS");
  return value != nullptr ? std::max(1, std::atoi(value)) : 1;
}

// The plain outcome, then every other way compared with it. With `times`
// (a failure case), only the ways side by side run, all cores `times` times:
// that the server gives a plain start's results is shown without a failure.
void expect_every_way_alike(const std::string& pristine, const std::vector<std::string>& args, int times = 0) {
  Outcome want = run_way(pristine, args, plain);
  for (const auto& way : other_ways) {
    if (times > 0 && !way.side_by_side) continue;
    int runs = times > 0 && way.env.empty() ? times : 1;
    for (int i = 0; i < runs; ++i) {
      SCOPED_TRACE(std::string(way.name) + ", run " + std::to_string(i + 1));
      expect_same(want, run_way(pristine, args, way));
    }
  }
}

TEST(Equivalence, ARealCrateInWriteAndCheckMode) {
  std::string crate = registry_crate("memchr");
  ASSERT_FALSE(crate.empty()) << "memchr is not installed (scripts/install-deps.sh --test)";
  TempDir pristine;
  copy_crate(crate, pristine.path());
  // rustfmt passes over a file that skips itself when it is given files, and
  // echoes it on standard input: its batch has to fall back.
  pristine.write("src/memmem/skipped.rs", "#![rustfmt::skip]\nfn  skipped( ){}\n");
  for (bool check : {false, true}) {
    SCOPED_TRACE(check ? "check mode" : "write mode");
    expect_every_way_alike(pristine.path(), check ? std::vector<std::string>{"--check", "src/memmem"}
                                                  : std::vector<std::string>{"src/memmem"});
  }
}

TEST(Equivalence, AFailureInTheMiddleOfTheList) {
  std::string crate = registry_crate("memchr");
  ASSERT_FALSE(crate.empty()) << "memchr is not installed (scripts/install-deps.sh --test)";
  TempDir pristine;
  copy_crate(crate, pristine.path());
  pristine.write("src/memmem/prefilter/fallback.rs", "fn broken( {\n");
  // Linked files before the failure: each must read what the other name's
  // turn wrote. "src/memmem" is listed twice, so its files come in pairs.
  pristine.symlink("mod.rs", "src/memmem/link_to_mod.rs");
  ASSERT_EQ(::link((pristine / "src/memmem/mod.rs").c_str(), (pristine / "src/memmem/hard_mod.rs").c_str()), 0);
  for (bool check : {false, true}) {
    SCOPED_TRACE(check ? "check mode" : "write mode");
    auto args = check ? std::vector<std::string>{"--check", "src/memmem", "src/memmem/"}
                      : std::vector<std::string>{"src/memmem", "src/memmem/"};
    expect_every_way_alike(pristine.path(), args, repeats());
  }
}

// The remembered cargo metadata and rustfmt identity (the caches' own keys)
// change no result: a small tree is changed step by step, and after each
// step a run with the caches (which fills them) and one more (which uses
// them) give the outcome of a run without them; the filter then answers with
// the metadata those runs remembered as it does without.
// Each step changes what decides cargo's answer or the rustfmt that runs.
struct Step {
  const char* name;
  std::function<void(const TempDir&)> change;
  bool needs_nightly = false;
  std::vector<std::string> env = {};
};

const std::string workspace = "[workspace]\nmembers = [\"a\", \"b\"]\nresolver = \"2\"\n";
// Style edition 2024 sorts versions as numbers, 2021 as text.
const std::string sorted_by_edition = "use core::{u8, u16};\npub fn f( ) {}\n";

const Step steps[] = {
    {"as made", [](const TempDir&) {}},
    {"a member's edition changed", [](const TempDir& dir) { write_package(dir, "w/a", "a", "2024"); }},
    {"a workspace root created above a package",
     [](const TempDir& dir) { dir.write("outer/Cargo.toml", "[workspace]\nmembers = []\n"); }},
    {"a package moved into another workspace",
     [](const TempDir& dir) {
       std::filesystem::rename(dir / "outer/p", dir / "w/p");
       dir.write("w/Cargo.toml", "[workspace]\nmembers = [\"a\", \"b\", \"p\"]\nresolver = \"2\"\n");
     }},
    {"rust-toolchain.toml switched to another toolchain",
     [](const TempDir& dir) { dir.write("rust-toolchain.toml", "[toolchain]\nchannel = \"nightly\"\n"); }, true},
    {"RUSTUP_TOOLCHAIN set", [](const TempDir&) {}, true, {"RUSTUP_TOOLCHAIN=stable"}},
    {"a Cargo.toml made invalid", [](const TempDir& dir) { dir.write("w/b/Cargo.toml", "[package\n"); }},
};

bool nightly_installed() {
  return run_command({"rustup", "run", "nightly", "rustfmt", "--version"}).status == 0 &&
         run_command({"rustup", "run", "nightly", "cargo", "--version"}).status == 0;
}

TEST(Equivalence, RememberedMetadataAndRustfmtAfterEachChange) {
  const bool nightly = nightly_installed();
  TempDir dir, cache;
  write_package(dir, "w/a", "a", "2021");
  write_package(dir, "w/b", "b", "2021");
  write_package(dir, "outer/p", "p", "2015");
  dir.write("w/Cargo.toml", workspace);
  for (const char* file : {"w/a/src/lib.rs", "w/b/src/lib.rs", "outer/p/src/lib.rs"})
    dir.write(file, sorted_by_edition);
  if (nightly) dir.write("rust-toolchain.toml", "[toolchain]\nchannel = \"stable\"\n");
  std::vector<std::string> skipped;
  for (const auto& step : steps) {
    if (step.needs_nightly && !nightly) {
      skipped.push_back(step.name);
      continue;
    }
    SCOPED_TRACE(step.name);
    step.change(dir);
    CommandOptions without, cached;
    without.env = step.env;
    cached.env = {"CARGO_TERSIFY_CACHE=1", "XDG_CACHE_HOME=" + cache.path()};
    cached.env.insert(cached.env.end(), step.env.begin(), step.env.end());
    Outcome want = outcome_in(dir.path(), {"--diff", "."}, without);
    std::string file = std::filesystem::exists(dir / "w/p") ? "w/p/src/lib.rs" : "outer/p/src/lib.rs";
    without.cwd = cached.cwd = dir / "w/a";
    without.input = cached.input = sorted_by_edition;
    auto filtered = run_filter({"--stdin-filename", dir / file}, without);
    for (int run = 0; run < 2; ++run) {
      SCOPED_TRACE(run == 0 ? "filling the caches" : "with them filled");
      expect_same(want, outcome_in(dir.path(), {"--diff", "."}, cached));
    }
    EXPECT_EQ(ended(run_filter({"--stdin-filename", dir / file}, cached)), ended(filtered));
  }
  if (!skipped.empty()) GTEST_SKIP() << "no nightly toolchain: skipped " << skipped.size() << " steps";
}

}  // namespace
}  // namespace tersify::test
