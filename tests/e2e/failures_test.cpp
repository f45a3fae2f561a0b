// Runs that stop at their first failure: the exact line on standard error,
// status 2, and which files were written before it. Failures of cargo and
// rustfmt are injected with scripts of that name first on PATH.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "e2e/project.h"
#include "support/tools.h"

namespace tersify::test {
namespace {

std::string real(const TempDir& dir) {
  char* resolved = ::realpath(dir.path().c_str(), nullptr);
  std::string path = resolved ? resolved : "";
  std::free(resolved);
  return path;
}

// A package with three source files around the one under test: a.rs is
// handled before it, c.rs after it.
struct Project {
  Project() {
    write_package(dir, "", "failing", "2021");
    dir.write("src/lib.rs", "");
    dir.write("src/a.rs", messy_source);
    dir.write("src/c.rs", messy_source);
    dir.mkdir("bin");
  }
  void fake(const std::string& name, const std::string& body) const { write_script(dir / "bin/" + name, body); }
  CommandResult run(std::vector<std::string> args = {}) const {
    return tersify_in(dir.path(), args, path_first(dir / "bin"));
  }

  TempDir dir;
};

TEST(CargoFailure, EveryMetadataProblemStopsTheRunAtTheFirstFile) {
  struct Case {
    const char* script;
    std::string line;  // after "./src/a.rs: "
  };
  const Case cases[] = {
      {"echo 'error: manifest is broken' >&2; exit 101", "error: manifest is broken\n\n"},
      {"printf 'no newline' >&2; exit 3", "no newline\n"},
      {"echo 'killed' >&2; kill -KILL $$", "killed\n\n"},
      // Every kind of bad document is tested in process (EnterPackages); one
      // shows that its message reaches the line.
      {"echo '{\"version\": 1}'", "cargo metadata has no packages\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Project p;
    p.fake("cargo", c.script);
    auto result = p.run();
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("./src/a.rs: " + c.line)) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1 - (c.line.ends_with("\n\n") ? 1 : 0));
    EXPECT_EQ(p.dir.read("src/a.rs"), messy_source);
    EXPECT_EQ(p.dir.read("rustfmt.toml"), "disable_all_formatting = true\n") << "settings come first and stay";
  }
}

TEST(CargoFailure, CargoMissingFromPath) {
  Project p;
  // Only rustfmt is reachable.
  p.dir.symlink(find_program("rustfmt"), "bin/rustfmt");
  CommandOptions options;
  options.cwd = p.dir.path();
  options.env = {"PATH=" + p.dir / "bin"};
  auto result = run_tersify({}, options);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "./src/a.rs: failed to run cargo metadata: No such file or directory (os error 2)\n");
}

TEST(RustfmtFailure, MissingFromPath) {
  TempDir dir;
  dir.write("loose/a.rs", messy_source);  // outside every package: no cargo run
  dir.mkdir("bin");
  CommandOptions options;
  options.cwd = dir.path();
  options.env = {"PATH=" + dir / "bin"};
  auto result = run_tersify({"loose"}, options);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "loose/a.rs: failed to run rustfmt: No such file or directory (os error 2)\n");
  EXPECT_EQ(dir.read("loose/a.rs"), messy_source);
}

TEST(RustfmtFailure, ScriptedFailuresAreReportedVerbatim) {
  struct Case {
    const char* script;
    std::string err;
  };
  const Case cases[] = {
      {"cat >/dev/null; echo 'error: no' >&2; exit 1", "src/a.rs: error: no\n\n"},
      {"cat >/dev/null; printf 'dying' >&2; kill -KILL $$", "src/a.rs: dying\n"},
      // Nothing said: how rustfmt ended is the message; nothing printed
      // for real code is no result.
      {"cat >/dev/null; exit 4", "src/a.rs: rustfmt exited with status 4\n"},
      {"cat >/dev/null; kill -KILL $$", "src/a.rs: rustfmt was killed by signal 9\n"},
      {"cat >/dev/null; exit 0", "src/a.rs: rustfmt printed nothing for a non-empty file\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Project p;
    p.fake("rustfmt", c.script);
    auto result = p.run({"src"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(p.dir.read("src/a.rs"), messy_source);
  }
}

TEST(RustfmtOutput, TextThatRustfmtRejectsIsNeverWritten) {
  // rustfmt turns `1. ..=5.` into `1...=5.`, which it then rejects.
  const std::string float_range =
      "fn f(lorem: f64) {\n    match lorem {\n        1. ..=5. => (),\n        _ => (),\n    }\n}\n";
  const std::string line =
      "formatting produced text that rustfmt rejects; the file is left unchanged\n"
      "error: unexpected `=` after inclusive range\n";
  Project p;
  p.dir.write("src/b.rs", float_range);
  for (bool check : {false, true}) {
    SCOPED_TRACE(check ? "check" : "write");
    auto result = p.run(check ? std::vector<std::string>{"--check"} : std::vector<std::string>{});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("./src/b.rs: " + line)) << result.err;
    EXPECT_EQ(p.dir.read("src/b.rs"), float_range);
    EXPECT_NE(p.dir.read("src/a.rs"), messy_source) << "a.rs comes first and is written";
    EXPECT_EQ(p.dir.read("src/c.rs"), messy_source);
  }
  CommandOptions options = cwd_options(p.dir / "src");
  options.input = float_range;
  auto filtered = run_filter({}, options);
  EXPECT_EQ(filtered.status, 2);
  EXPECT_EQ(filtered.out, "");
  EXPECT_TRUE(filtered.err.starts_with("<stdin>: " + line)) << filtered.err;
}

TEST(RustfmtOutput, InvalidUtf8IsReplacedNotAnError) {
  Project p;
  p.fake("rustfmt", "cat >/dev/null; printf '// caf\\351\\n'");
  auto result = p.run({"src/a.rs"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(p.dir.read("src/a.rs"), "// caf\xef\xbf\xbd\n");
}

TEST(SourceFailure, ReadProblemsStopTheRunAfterEarlierFilesWereWritten) {
  struct Case {
    const char* name;
    std::string expected;
  };
  for (const auto& [name, detail] :
       {Case{"b_invalid", "stream did not contain valid UTF-8"},
        Case{"b_unreadable", "Input/output error (os error 5)"}, Case{"b_syntax", "error: "}}) {
    SCOPED_TRACE(name);
    Project p;
    if (std::string(name) == "b_invalid") p.dir.write("src/b.rs", "fn main() {}\n// caf\xe9\n");
    // Reading memory at address 0 fails even for root.
    if (std::string(name) == "b_unreadable") p.dir.symlink("/proc/self/mem", "src/b.rs");
    if (std::string(name) == "b_syntax") p.dir.write("src/b.rs", "fn main( {\n");
    auto result = p.run();
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.err.starts_with("./src/b.rs: " + detail)) << result.err;
    EXPECT_NE(p.dir.read("src/a.rs"), messy_source) << "a.rs comes first and is rewritten";
    EXPECT_EQ(p.dir.read("src/c.rs"), messy_source) << "c.rs comes after the failure";

    // Check mode fails the same way and prints no report.
    auto check = p.run({"--check"});
    EXPECT_EQ(check.status, 2);
    EXPECT_EQ(check.out, "");
  }
}

TEST(SettingsFailure, StopsBeforeAnySourceFile) {
  Project p;
  write_package(p.dir, "second", "second", "2021");
  p.dir.write("second/src/lib.rs", messy_source);
  p.dir.mkdir("second/rustfmt.toml");
  auto result = p.run({"second", "."});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, real(p.dir) + "/second/rustfmt.toml: Is a directory (os error 21)\n");
  EXPECT_EQ(p.dir.read("rustfmt.toml"), "disable_all_formatting = true\n") << "the first one stays written";
  EXPECT_EQ(p.dir.read("src/a.rs"), messy_source);

  write_package(p.dir, "third", "third", "2021");
  p.dir.write("third/rustfmt.toml", "disable_all_formatting = false\n\xff");
  auto invalid = p.run({"third", "--check"});
  EXPECT_EQ(invalid.status, 2);
  EXPECT_EQ(invalid.out, "");
  EXPECT_EQ(invalid.err, real(p.dir) + "/third/rustfmt.toml: stream did not contain valid UTF-8\n");
}

TEST(SettingsFailure, MissingPathArgumentStopsBeforeAnything) {
  TempDir dir;
  for (bool check : {true, false}) {
    auto result = tersify_in(dir.path(), check ? std::vector<std::string>{"--check", "missing/dir"}
                                               : std::vector<std::string>{"missing/dir"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "missing/dir: No such file or directory (os error 2)\n");
  }
}

TEST(ReportFailure, UnwritableStandardOutputIsAFailure) {
  Project p;
  auto full = run_command({"sh", "-c", "exec \"$0\" --check >/dev/full", TERSIFY_BINARY}, cwd_options(p.dir.path()));
  EXPECT_EQ(full.status, 2);
  EXPECT_EQ(full.err, "standard output: No space left on device (os error 28)\n");

  // A pipe whose reader is gone before the report is written.
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGPIPE, SIG_DFL);  // the tool must ignore it by itself
    ::dup2(ends[1], STDOUT_FILENO);
    int err = ::open((p.dir / "err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(err, STDERR_FILENO);
    if (::chdir(p.dir.path().c_str()) != 0) ::_exit(125);
    ::execl(TERSIFY_BINARY, TERSIFY_BINARY, "--check", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(ends[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(p.dir.read("err.txt"), "standard output: Broken pipe (os error 32)\n");
}

}  // namespace
}  // namespace tersify::test
