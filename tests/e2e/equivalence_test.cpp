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

}  // namespace
}  // namespace tersify::test
