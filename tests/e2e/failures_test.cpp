// Runs that stop at their first failure: the exact line on standard error,
// status 2, and which files were written before it. Failures of cargo and
// rustfmt are injected with scripts of that name first on PATH. Source text
// that stops a run stops tersify-rustfmt with the same message.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "e2e/outcome.h"
#include "e2e/project.h"
#include "support/tools.h"

namespace tersify::test {
namespace {

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

TEST(RustfmtFailure, CargoOrRustfmtFailingStopsTheRunAtTheFirstFileInItsWords) {
  struct Case {
    const char* program;
    std::string script;
    std::string line;  // after "./src/a.rs: "
  };
  const std::string rustfmt = find_program("rustfmt");
  const Case cases[] = {
      {"cargo", "echo 'error: manifest is broken' >&2; exit 101", "error: manifest is broken\n\n"},
      {"cargo", "printf 'no newline' >&2; exit 3", "no newline\n"},
      {"cargo", "echo 'killed' >&2; kill -KILL $$", "killed\n\n"},
      // Every kind of bad document is tested in process (EnterPackages); one
      // shows that its message reaches the line.
      {"cargo", "echo '{\"version\": 1}'", "cargo metadata has no packages\n"},
      {"rustfmt", "cat >/dev/null; echo 'error: no' >&2; exit 1", "error: no\n\n"},
      {"rustfmt", "cat >/dev/null; printf 'dying' >&2; kill -KILL $$", "rustfmt was killed by signal 9\ndying\n"},
      // Killed while it checks the compacted text: the kill is the cause,
      // not a text that rustfmt rejects.
      {"rustfmt",
       "text=$(cat); case \"$text\" in *'println!(\"{}\", x);'*) kill -KILL $$;; esac\n"
       "printf '%s\\n' \"$text\" | exec " + rustfmt + " \"$@\"",
       "rustfmt was killed by signal 9\n"},
      // Nothing said: how rustfmt ended is the message; nothing printed
      // for real code is no result.
      {"rustfmt", "cat >/dev/null; exit 4", "rustfmt exited with status 4\n"},
      {"rustfmt", "cat >/dev/null; kill -KILL $$", "rustfmt was killed by signal 9\n"},
      {"rustfmt", "cat >/dev/null; exit 0", "rustfmt printed nothing for a non-empty file\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Project p;
    p.fake(c.program, c.script);
    EXPECT_EQ(ended(p.run()), std::tuple(2, "", "./src/a.rs: " + c.line));
    EXPECT_EQ(p.dir.read("src/a.rs"), messy_source);
    EXPECT_EQ(p.dir.read("rustfmt.toml"), "disable_all_formatting = true\n") << "settings come first and stay";
  }
}

TEST(CargoFailure, CargoOrRustfmtMissingFromPathIsNamed) {
  TempDir dir;
  write_package(dir, "pkg", "pkg", "2021");
  dir.write("pkg/src/lib.rs", messy_source);
  dir.write("loose/a.rs", messy_source);  // outside every package: no cargo run
  dir.mkdir("bin");
  CommandOptions options = cwd_options(dir.path());
  options.env = {"PATH=" + dir / "bin"};
  EXPECT_EQ(ended(run_tersify({"loose"}, options)),
            std::tuple(2, "", "loose/a.rs: failed to run rustfmt: No such file or directory (os error 2)\n"));
  EXPECT_EQ(dir.read("loose/a.rs"), messy_source);
  // Only rustfmt is reachable.
  dir.symlink(find_program("rustfmt"), "bin/rustfmt");
  EXPECT_EQ(
      ended(run_tersify({"pkg"}, options)),
      std::tuple(2, "", "pkg/src/lib.rs: failed to run cargo metadata: No such file or directory (os error 2)\n"));
}

TEST(RustfmtOutput, InvalidUtf8IsReplacedNotAnError) {
  Project p;
  p.fake("rustfmt", "cat >/dev/null; printf '// caf\\351\\n'");
  auto result = p.run({"src/a.rs"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(p.dir.read("src/a.rs"), "// caf\xef\xbf\xbd\n");
}

TEST(SourceFailure, AFileThatCannotBeFormattedStopsTheRunAfterEarlierOnesWereWritten) {
  struct Case {
    std::string text;  // "": a link named as a path, to memory that cannot be read even by root
    std::string detail;
    bool located = false;  // rustfmt's message points at a line
  };
  const Case cases[] = {
      {"fn main() {}\n// caf\xe9\n", "stream did not contain valid UTF-8"},
      {"", "Input/output error (os error 5)"},
      {"fn main( {\n", "error: ", true},
      // rustfmt turns `1. ..=5.` into `1...=5.`, which it then rejects.
      {"fn f(lorem: f64) {\n    match lorem {\n        1. ..=5. => (),\n        _ => (),\n    }\n}\n",
       "formatting produced text that rustfmt rejects; the file is left unchanged\n"
       "error: unexpected `=` after inclusive range\n",
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.detail);
    Project p;
    if (c.text.empty()) {
      p.dir.symlink("/proc/self/mem", "src/b.rs");
    } else {
      p.dir.write("src/b.rs", c.text);
    }
    // Check mode fails the same way and prints no report. The files are
    // named, as a link that leads out of a folder is not listed.
    CommandResult result;
    for (bool check : {false, true}) {
      std::vector<std::string> args = {"src/a.rs", "src/b.rs", "src/c.rs"};
      if (check) args.push_back("--check");
      result = p.run(args);
      EXPECT_EQ(std::tie(result.status, result.out), std::tuple(2, ""));
      EXPECT_TRUE(result.err.starts_with("src/b.rs: " + c.detail)) << result.err;
      EXPECT_NE(p.dir.read("src/a.rs"), messy_source) << "a.rs comes first and is rewritten";
      EXPECT_EQ(p.dir.read("src/c.rs"), messy_source) << "c.rs comes after the failure";
    }
    // rustfmt's message points at the file, for terminals and editors to
    // jump to, whichever way rustfmt ran (the equivalence runs hold the
    // others to the plain one).
    if (c.located) {
      EXPECT_NE(result.err.find("\n --> src/b.rs:"), std::string::npos) << result.err;
      EXPECT_EQ(result.err.find("<stdin>"), std::string::npos) << result.err;
    }
    if (c.text.empty()) continue;
    EXPECT_EQ(p.dir.read("src/b.rs"), c.text);
    // tersify-rustfmt says the same for the file it is told the text is
    // for, and names standard input otherwise.
    if (c.located) {
      EXPECT_EQ(ended(run_filter({"--stdin-filename", "src/b.rs"}, in_folder(p.dir.path(), c.text))),
                std::tuple(2, "", result.err));
    }
    std::string on_stdin = result.err;
    for (std::size_t at; (at = on_stdin.find("src/b.rs")) != std::string::npos;) on_stdin.replace(at, 8, "<stdin>");
    EXPECT_EQ(ended(run_filter({}, in_folder(p.dir / "src", c.text))), std::tuple(2, "", on_stdin));
  }
}

TEST(SettingsFailure, StopsBeforeAnythingIsTouchedAsAMissingPathDoes) {
  Project p;
  write_package(p.dir, "second", "second", "2021");
  p.dir.write("second/src/lib.rs", messy_source);
  p.dir.mkdir("second/rustfmt.toml");
  const std::string real = real_path(p.dir.path());
  EXPECT_EQ(ended(p.run({"second", "."})),
            std::tuple(2, "", real + "/second/rustfmt.toml: Is a directory (os error 21)\n"));
  EXPECT_FALSE(p.dir.exists("rustfmt.toml")) << "the first one is not made either";
  EXPECT_EQ(p.dir.read("src/a.rs"), messy_source);

  // A file that rustfmt would refuse is not amended either.
  write_package(p.dir, "third", "third", "2021");
  p.dir.write("third/src/lib.rs", messy_source);
  for (std::string text : {"disable_all_formatting = false\n\xff", "max_width = \"120\"\n"}) {
    p.dir.write("third/rustfmt.toml", text);
    for (const char* mode : {"--check", "--width=80"}) {
      auto result = p.run({"third", mode});
      EXPECT_EQ(std::tie(result.status, result.out), std::tuple(2, ""));
      EXPECT_TRUE(result.err.starts_with(real + "/third/rustfmt.toml: ")) << result.err;
      EXPECT_EQ(p.dir.read("third/rustfmt.toml"), text);
    }
  }

  // A path that does not exist stops either mode before anything.
  for (const auto& args :
       {std::vector<std::string>{"--check", "missing/dir"}, std::vector<std::string>{"missing/dir"}}) {
    EXPECT_EQ(ended(p.run(args)), std::tuple(2, "", "missing/dir: No such file or directory (os error 2)\n"));
  }
}

TEST(ReportFailure, UnwritableStandardOutputIsAFailureAndAClosedOneEndsQuietly) {
  Project p;
  EXPECT_EQ(
      ended(run_command({"sh", "-c", "exec \"$0\" --check >/dev/full", TERSIFY_BINARY}, cwd_options(p.dir.path()))),
      std::tuple(2, "", "standard output: No space left on device (os error 28)\n"));

  // A pipe whose reader is gone before the report is written (as with
  // `--diff | head -1` once head has its line): the end of cat or git then,
  // killed by SIGPIPE without a word.
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGPIPE, SIG_DFL);  // the tool must ignore it by itself
    ::dup2(ends[1], STDOUT_FILENO);
    ::dup2(::open((p.dir / "err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
    if (::chdir(p.dir.path().c_str()) != 0) ::_exit(125);
    ::execl(TERSIFY_BINARY, TERSIFY_BINARY, "--diff", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(ends[1]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exited with " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGPIPE);
  EXPECT_EQ(p.dir.read("err.txt"), "");
  EXPECT_EQ(p.dir.read("src/a.rs"), messy_source);
}

}  // namespace
}  // namespace tersify::test
