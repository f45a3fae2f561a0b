// The fork server inside whole runs: a run gives the same outcome whether
// the server serves, is never started (a script named rustfmt), never gets
// ready, or dies in the middle; and no process of a run outlives it, after a
// success, a failure, or the tool being killed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "e2e/project.h"
#include "support/processes.h"
#include "support/tools.h"
#include "support/tree.h"

namespace tersify::test {
namespace {

using namespace std::chrono_literals;

// Whether every process in `dir` is gone soon (children of a killed process
// may take a moment to see their end).
bool none_left_in(const std::string& dir) {
  return eventually([&] { return processes_in(dir).empty(); });
}

class ForkServerRun : public ::testing::Test {
 protected:
  void SetUp() override {
    crate_ = registry_crate("memchr");
    ASSERT_FALSE(crate_.empty()) << "memchr is not installed (scripts/install-deps.sh --test)";
  }
  // The outcome of a run on a fresh copy of the crate, with the copy's own
  // folder taken out of the report.
  CommandResult run(const TempDir& dir, CommandOptions options, std::vector<std::string> args) {
    copy_crate(crate_, dir / "crate");
    options.env.push_back("CARGO_TERSIFY_STATS=" + dir / "stats");
    auto result = tersify_in(dir / "crate", args, options);
    const std::string real = std::filesystem::canonical(dir.path());
    for (std::size_t at; (at = result.out.find(real)) != std::string::npos;)
      result.out.replace(at, real.size(), "<dir>");
    return result;
  }
  static std::map<std::string, std::string> stats(const TempDir& dir) {
    std::map<std::string, std::string> stats;
    std::ifstream in(dir / "stats");
    for (std::string name, value; in >> name >> value;) stats[name] = value;
    return stats;
  }
  const CommandOptions plain_{"", {"CARGO_TERSIFY_FORK_SERVER=0", "CARGO_TERSIFY_JOBS=1"}, "", ""};
  std::string crate_;
};

TEST_F(ForkServerRun, EveryFallbackGivesThePlainOutcome) {
  TempDir reference;
  auto want = run(reference, plain_, {"--check", "src/memmem/prefilter"});
  ASSERT_EQ(want.status, 1) << want.err;

  TempDir bin;
  const std::string real = find_program("rustfmt");
  write_script(bin / "rustfmt", "[ -n \"$TERSIFY_FORK_SERVER_SOCKET\" ] && echo server >> '" + bin / "log" +
                                    "'\nexec '" + real + "' \"$@\"\n");
  struct Case {
    const char* name;
    std::string path_prefix;
    std::vector<std::string> env;
    const char* servers;  // in the stats
    const char* dropped;
  };
  const Case cases[] = {
      {"served", "", {}, "1", "0"},
      {"a script named rustfmt", bin.path(), {}, "0", "0"},
      {"a server that ends without a hello", TERSIFY_SILENT_RUSTFMT_DIR, {"SILENT_RUSTFMT_MODE=exit"}, "1", "1"},
      {"a server that never says hello", TERSIFY_SILENT_RUSTFMT_DIR, {"SILENT_RUSTFMT_MODE=sleep"}, "1", "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    CommandOptions options{"", c.env, c.path_prefix, ""};
    options.env.push_back("REAL_RUSTFMT=" + real);
    auto got = run(dir, options, {"--check", "src/memmem/prefilter"});
    EXPECT_EQ(got.status, want.status);
    EXPECT_TRUE(got.out == want.out) << got.out;
    EXPECT_EQ(got.err, want.err);
    auto counts = stats(dir);
    EXPECT_EQ(counts["servers"], c.servers);
    EXPECT_EQ(counts["servers_dropped"], c.dropped);
    EXPECT_EQ(counts["rustfmt_served"] != "0", std::string(c.dropped) == "0" && std::string(c.servers) == "1");
    EXPECT_TRUE(none_left_in(dir.path()));
  }
  EXPECT_FALSE(bin.exists("log")) << "the script was started as a server";
}

TEST_F(ForkServerRun, AServerKilledMidRunLeavesTheRestToPlainStarts) {
  TempDir reference, dir;
  ASSERT_EQ(run(reference, plain_, {"src/memmem"}).status, 0);
  // One file at a time, so that the server is busy most of the run; it is
  // killed as soon as it has a run of its own going.
  copy_crate(crate_, dir / "crate");
  pid_t tool = start_in_background({TERSIFY_BINARY, "src/memmem"}, dir / "crate",
                                   {"CARGO_TERSIFY_JOBS=1", "CARGO_TERSIFY_STATS=" + dir / "stats"});
  bool killed = eventually(
      [&] {
        for (pid_t child : live_children_of(tool)) {
          auto stat = process_stat(child);
          if (stat && stat->name == "rustfmt" && !live_children_of(child).empty()) return ::kill(child, SIGKILL) == 0;
        }
        return false;
      },
      2ms);
  int status = 0;
  ASSERT_EQ(::waitpid(tool, &status, 0), tool);
  ASSERT_TRUE(killed) << "no busy server was found";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  auto counts = stats(dir);
  EXPECT_EQ(counts["servers_dropped"], "1");
  EXPECT_NE(counts["rustfmt_plain"], "0");
  EXPECT_TRUE(snapshot(dir / "crate") == snapshot(reference / "crate"));
  EXPECT_TRUE(none_left_in(dir.path()));
}

TEST_F(ForkServerRun, NoProcessOutlivesAFailedOrKilledRun) {
  // Plain children that would take a minute, unless their input is marked:
  // only being killed ends them early.
  TempDir bin;
  write_script(bin / "rustfmt",
               "case \"$(cat)\" in *'fail here'*) echo 'error: refused' >&2; exit 1;; esac\nexec sleep 60\n");
  auto sleepy_package = [](const TempDir& dir, const char* first) {
    write_package(dir, "crate", "sleepy", "2021");
    dir.write("crate/src/a.rs", first);
    for (const char* name : {"b", "c", "d", "lib"}) dir.write("crate/src/" + std::string(name) + ".rs", messy_source);
  };
  {
    TempDir dir;
    sleepy_package(dir, "// fail here\n");
    CommandOptions four = path_first(bin.path());
    four.env = {"CARGO_TERSIFY_JOBS=4"};
    auto start = std::chrono::steady_clock::now();
    auto failed = tersify_in(dir / "crate", {}, four);
    EXPECT_EQ(failed.status, 2);
    EXPECT_EQ(failed.err, "./src/a.rs: error: refused\n\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << "the files in flight were not cancelled";
    EXPECT_TRUE(none_left_in(dir.path()));
  }
  // Plain children, or a server and its runs, end with the tool, even when it
  // can't see the signal coming; a signal it sees leaves no scratch folder.
  for (bool served : {false, true}) {
    for (int signal : {SIGTERM, SIGINT, SIGKILL}) {
      SCOPED_TRACE(std::string(served ? "served, " : "plain, ") + ::strsignal(signal));
      TempDir dir;
      dir.mkdir("tmp");
      served ? copy_crate(crate_, dir / "crate") : sleepy_package(dir, messy_source);
      pid_t tool =
          start_in_background({TERSIFY_BINARY}, dir / "crate",
                              {"TMPDIR=" + dir / "tmp", served ? "CARGO_TERSIFY_JOBS=1" : "CARGO_TERSIFY_JOBS=4",
                               "PATH=" + (served ? "" : bin.path() + ":") + std::getenv("PATH")});
      // Once it has children, and a little longer for them to be at work.
      EXPECT_TRUE(eventually([&] { return !live_children_of(tool).empty(); }, 1ms));
      std::this_thread::sleep_for(100ms);
      ASSERT_EQ(::kill(tool, signal), 0);
      int status = 0;
      ASSERT_EQ(::waitpid(tool, &status, 0), tool);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
      EXPECT_TRUE(none_left_in(dir.path())) << processes_in(dir.path()).size() << " left";
      EXPECT_TRUE(signal == SIGKILL || std::filesystem::is_empty(dir / "tmp"));
    }
  }
}

}  // namespace
}  // namespace tersify::test
