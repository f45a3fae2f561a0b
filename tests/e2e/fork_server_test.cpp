// The fork server inside whole runs: a run gives the same outcome whether
// the server serves, is never started (a script named rustfmt), never gets
// ready, or dies in the middle; and no process of a run outlives it, after a
// success, a failure, or the tool being killed.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "e2e/project.h"
#include "support/processes.h"
#include "support/tools.h"
#include "support/tree.h"

extern char** environ;

namespace tersify::test {
namespace {

using namespace std::chrono_literals;

std::map<std::string, std::string> read_stats(const std::string& path) {
  std::map<std::string, std::string> stats;
  std::ifstream in(path);
  for (std::string name, value; in >> name >> value;) stats[name] = value;
  return stats;
}

// Whether every process in `dir` is gone within a few seconds (children of a
// killed process may take a moment to see their end).
bool none_left_in(const std::string& dir) {
  for (int i = 0; i < 100; ++i) {
    if (processes_in(dir).empty()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

std::string command_of(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

// cargo-tersify started in the background in `dir`, with `env` added.
pid_t start_tersify(const std::string& dir, const std::vector<std::string>& args, const std::vector<std::string>& env) {
  pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    for (const auto& entry : env) ::putenv(const_cast<char*>(entry.c_str()));
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(TERSIFY_BINARY)};
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(TERSIFY_BINARY, argv.data());
    ::_exit(127);
  }
  return pid;
}

class ForkServerRun : public ::testing::Test {
 protected:
  void SetUp() override {
    crate_ = registry_crate("memchr");
    ASSERT_FALSE(crate_.empty()) << "memchr is not installed (scripts/install-deps.sh --test)";
  }
  // The outcome of a run on a fresh copy of the crate, with the copy's own
  // folder taken out of the report.
  CommandResult run(const TempDir& dir, CommandOptions options, std::vector<std::string> args = {}) {
    copy_tree(crate_, dir / "crate");
    options.env.push_back("CARGO_TERSIFY_STATS=" + dir / "stats");
    auto result = tersify_in(dir / "crate", args, options);
    char* real = ::realpath(dir.path().c_str(), nullptr);
    for (std::size_t at; (at = result.out.find(real)) != std::string::npos;)
      result.out.replace(at, std::strlen(real), "<dir>");
    std::free(real);
    return result;
  }
  std::string crate_;
};

TEST_F(ForkServerRun, EveryFallbackGivesThePlainOutcome) {
  TempDir reference;
  CommandOptions plain;
  plain.env = {"CARGO_TERSIFY_FORK_SERVER=0", "CARGO_TERSIFY_JOBS=1"};
  auto want = run(reference, plain, {"--check", "src/memmem/prefilter"});
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
    CommandOptions options;
    options.path_prefix = c.path_prefix;
    options.env = c.env;
    options.env.push_back("REAL_RUSTFMT=" + real);
    auto got = run(dir, options, {"--check", "src/memmem/prefilter"});
    EXPECT_EQ(got.status, want.status);
    EXPECT_TRUE(got.out == want.out) << got.out;
    EXPECT_EQ(got.err, want.err);
    auto stats = read_stats(dir / "stats");
    EXPECT_EQ(stats["servers"], c.servers);
    EXPECT_EQ(stats["servers_dropped"], c.dropped);
    EXPECT_EQ(stats["rustfmt_served"] != "0", std::string(c.dropped) == "0" && std::string(c.servers) == "1");
    EXPECT_TRUE(none_left_in(dir.path()));
  }
  EXPECT_FALSE(bin.exists("log")) << "the script was started as a server";
}

TEST_F(ForkServerRun, AServerKilledMidRunLeavesTheRestToPlainStarts) {
  TempDir reference;
  copy_tree(crate_, reference / "crate");
  CommandOptions plain;
  plain.env = {"CARGO_TERSIFY_FORK_SERVER=0", "CARGO_TERSIFY_JOBS=1"};
  auto want = tersify_in(reference / "crate", {"src/memmem"}, plain);
  ASSERT_EQ(want.status, 0) << want.err;

  // One file at a time, so that the server is busy most of the run; it is
  // killed as soon as it has a run of its own going.
  TempDir dir;
  copy_tree(crate_, dir / "crate");
  pid_t tool =
      start_tersify(dir / "crate", {"src/memmem"}, {"CARGO_TERSIFY_JOBS=1", "CARGO_TERSIFY_STATS=" + dir / "stats"});
  bool killed = false;
  for (int i = 0; i < 2000 && !killed; ++i) {
    for (pid_t child : live_children_of(tool)) {
      if (command_of(child) == "rustfmt" && !live_children_of(child).empty()) killed = ::kill(child, SIGKILL) == 0;
    }
    if (!killed) std::this_thread::sleep_for(2ms);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(tool, &status, 0), tool);
  ASSERT_TRUE(killed) << "no busy server was found";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  auto stats = read_stats(dir / "stats");
  EXPECT_EQ(stats["servers_dropped"], "1");
  EXPECT_NE(stats["rustfmt_plain"], "0");
  EXPECT_TRUE(snapshot(dir / "crate") == snapshot(reference / "crate"));
  EXPECT_TRUE(none_left_in(dir.path()));
}

// Waits for `tool` and gives whether a signal ended it.
bool ended_by(pid_t tool, int signal) {
  int status = 0;
  return ::waitpid(tool, &status, 0) == tool && WIFSIGNALED(status) && WTERMSIG(status) == signal;
}

// Waits until `tool` has children, then a little for them to be at work.
void await_children(pid_t tool) {
  for (int i = 0; i < 2000 && live_children_of(tool).empty(); ++i) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(100ms);
}

TEST_F(ForkServerRun, NoProcessOutlivesAFailedOrKilledRun) {
  // Plain children that would take a minute, unless their input is marked:
  // only being killed ends them early.
  TempDir bin;
  write_script(bin / "rustfmt",
               "case \"$(cat)\" in *'fail here'*) echo 'error: refused' >&2; exit 1;; esac\nexec sleep 60\n");
  auto sleepy_package = [](const TempDir& dir) {
    write_package(dir, "", "sleepy", "2021");
    dir.write("src/a.rs", "// fail here\n");
    for (const char* name : {"src/b.rs", "src/c.rs", "src/d.rs", "src/lib.rs"}) dir.write(name, messy_source);
  };
  CommandOptions four = path_first(bin.path());
  four.env = {"CARGO_TERSIFY_JOBS=4"};
  {
    TempDir dir;
    sleepy_package(dir);
    auto start = std::chrono::steady_clock::now();
    auto failed = tersify_in(dir.path(), {}, four);
    EXPECT_EQ(failed.status, 2);
    EXPECT_EQ(failed.err, "./src/a.rs: error: refused\n\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << "the files in flight were not cancelled";
    EXPECT_TRUE(none_left_in(dir.path()));
  }
  // Plain children die with the tool too, even when it can't see the signal.
  for (int signal : {SIGTERM, SIGINT, SIGKILL}) {
    SCOPED_TRACE(signal);
    TempDir dir;
    sleepy_package(dir);
    dir.write("src/a.rs", messy_source);
    std::string path = "PATH=" + bin.path() + ":" + std::getenv("PATH");
    pid_t tool = start_tersify(dir.path(), {}, {"CARGO_TERSIFY_JOBS=4", path});
    await_children(tool);
    ASSERT_EQ(::kill(tool, signal), 0);
    EXPECT_TRUE(ended_by(tool, signal));
    EXPECT_TRUE(none_left_in(dir.path())) << processes_in(dir.path()).size() << " left";
  }

  // Served: a server and its runs end with the tool, even when it can't see
  // the signal coming; a signal it sees leaves no batch files either.
  for (int signal : {SIGTERM, SIGINT, SIGKILL}) {
    SCOPED_TRACE(signal);
    TempDir dir;
    copy_tree(crate_, dir / "crate");
    dir.mkdir("tmp");
    pid_t tool = start_tersify(dir / "crate", {}, {"CARGO_TERSIFY_JOBS=1", "TMPDIR=" + dir / "tmp"});
    await_children(tool);
    ASSERT_EQ(::kill(tool, signal), 0);
    EXPECT_TRUE(ended_by(tool, signal));
    EXPECT_TRUE(none_left_in(dir.path())) << processes_in(dir.path()).size() << " left";
    if (signal != SIGKILL) {
      EXPECT_TRUE(std::filesystem::is_empty(dir / "tmp"));
    }
  }
}

}  // namespace
}  // namespace tersify::test
