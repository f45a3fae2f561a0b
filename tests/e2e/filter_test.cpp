// tersify-rustfmt as editors run it: the source on standard input, the
// working directory the file's folder, the real cargo and rustfmt. Its output
// must be what cargo tersify writes for that file; a failure must leave
// standard output empty, so that the editor keeps its buffer.

#include <gtest/gtest.h>

#include "e2e/project.h"
#include "support/tools.h"

namespace tersify::test {
namespace {

// `async` is an identifier in edition 2015 only.
const std::string async_source = "pub fn f() -> u32 { let async = 1; async }\n";
const std::string async_rejected = "<stdin>: error: expected identifier, found keyword `async`\n";

TEST(Filter, EditorCommandLinesGiveWhatCargoTersifyWrites) {
  TempDir dir;
  write_package(dir, "", "editors", "2015");
  dir.write("rustfmt.toml", "max_width = 60\n");
  dir.write("src/lib.rs", "mod nested;\n");
  const std::string source = std::string(messy_source) + async_source + long_call;
  dir.write("src/nested/mod.rs", source);

  // The arguments of the settings in the README's "Format on save".
  struct Editor {
    const char* name;
    std::vector<std::string> args;
  };
  const Editor editors[] = {
      {"rust-analyzer", {}},
      {"Helix", {"--emit", "stdout"}},
      {"conform.nvim", {"--emit=stdout", "--stdin-filename", dir / "src/nested/mod.rs"}},
  };
  std::vector<CommandResult> results;
  for (const auto& editor : editors) results.push_back(run_filter(editor.args, in_folder(dir / "src/nested", source)));
  EXPECT_EQ(dir.read("rustfmt.toml"), "max_width = 60\n") << "the filter writes no file";

  ASSERT_EQ(tersify_in(dir.path(), {}).status, 0);
  const std::string written = dir.read("src/nested/mod.rs");
  EXPECT_NE(written.find("let async = 1;"), std::string::npos) << written;
  EXPECT_LE(longest_line(written), 60u) << written;
  for (size_t i = 0; i < results.size(); ++i) {
    SCOPED_TRACE(editors[i].name);
    EXPECT_EQ(ended(results[i]), std::tuple(0, written, ""));
  }

  // Nothing left to change: the text comes back as it went in.
  EXPECT_EQ(ended(run_filter({}, in_folder(dir / "src/nested", written))), std::tuple(0, written, ""));
}

TEST(Filter, EditionComesFromThePackageAboveTheWorkingDirectoryUnlessGiven) {
  TempDir dir;
  write_package(dir, "old", "old", "2015");
  write_package(dir, "new", "new", "2021");
  dir.write("old/src/lib.rs", "");
  dir.write("new/src/lib.rs", "");
  dir.mkdir("old/src/deep");
  dir.mkdir("loose");
  dir.mkdir("bin");
  write_script(dir / "bin/cargo", "echo 'cargo must not run' >&2; exit 101");

  struct Case {
    const char* folder;
    std::vector<std::string> args;
    bool accepted;
  };
  const Case cases[] = {
      {"old/src/deep", {}, true},
      // 2021 in a 2021 package and outside every package alike.
      {"new/src", {}, false},
      {"loose", {}, false},
      // A given edition asks cargo nothing: the one on PATH would fail.
      {"old/src/deep", {"--edition", "2021"}, false},
      {"new/src", {"--edition=2015"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder + testing::PrintToString(c.args));
    auto options = in_folder(dir / c.folder, async_source);
    if (!c.args.empty()) options.path_prefix = dir / "bin";
    auto result = run_filter(c.args, options);
    EXPECT_EQ(
        std::tie(result.status, result.out),
        std::tuple(c.accepted ? 0 : 2, c.accepted ? "pub fn f() -> u32 {\n    let async = 1;\n    async\n}\n" : ""));
    EXPECT_TRUE(c.accepted ? result.err.empty() : result.err.starts_with(async_rejected)) << result.err;
  }
}

TEST(Filter, ArgumentsChangeOnlyWhatTheySayOrStopWithALineNamingThem) {
  TempDir dir;
  dir.write("rustfmt.toml", "max_width = 60\n");
  dir.mkdir("src");
  auto narrow = run_filter({}, in_folder(dir / "src", long_call));
  ASSERT_EQ(narrow.status, 0) << narrow.err;
  EXPECT_LE(longest_line(narrow.out), 60u) << narrow.out;
  auto wide = run_filter({"--width", "300"}, in_folder(dir / "src", long_call));
  ASSERT_EQ(wide.status, 0) << wide.err;
  EXPECT_NE(wide.out.find(long_call_line), std::string::npos) << wide.out;

  // The table of every argument is in process
  // (tests/tersify_rustfmt/filter_args_test.cpp); these runs show that the
  // built filter reads its command line by it.
  struct Case {
    std::vector<std::string> args;
    std::string out;       // of an accepted run
    std::string err = "";  // the line of a refused one
  };
  const Case cases[] = {
      {{"-q", "--emit=stdout", "--edition=2024"}, narrow.out},
      {{"--width=300"}, wide.out},
      {{"--width", "0"}, "", "--width 0: expected an integer from 1 up\n"},
      {{"--emit", "files"}, "", "--emit files: only stdout is supported\n"},
      {{"-q", "--edition", "\xff"}, "", "\xEF\xBF\xBD: argument is not valid UTF-8\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    EXPECT_EQ(ended(run_filter(c.args, in_folder(dir / "src", long_call))),
              std::tuple(c.err.empty() ? 0 : 2, c.out, c.err));
  }
  for (const auto& [arg, start] : {std::pair{"--help", "Formats Rust source"}, {"-V", "tersify-rustfmt "}}) {
    auto answer = run_filter({"-q", arg}, in_folder(dir / "src", long_call));
    EXPECT_EQ(std::tie(answer.status, answer.err), std::tuple(0, "")) << arg;
    EXPECT_TRUE(answer.out.starts_with(start)) << answer.out;
  }
}

TEST(Filter, FailuresPrintOneLineAndNothingOnStandardOutput) {
  TempDir dir;
  write_package(dir, "pkg", "pkg", "2021");
  dir.mkdir("pkg/src");
  dir.mkdir("loose");
  dir.mkdir("failing");
  write_script(dir / "failing/rustfmt", "cat >/dev/null; echo 'error: no' >&2; exit 1");
  write_script(dir / "failing/cargo", "echo 'error: manifest is broken' >&2; exit 101");
  dir.mkdir("odd");
  write_script(dir / "odd/cargo", "echo '{\"version\": 1}'");
  const std::string path = std::getenv("PATH");

  struct Case {
    const char* name;
    std::string folder;
    std::string input;
    std::string path;  // PATH for the run; "": unchanged
    std::string err;
    std::vector<std::string> args = {};
  };
  const Case cases[] = {
      {"input not UTF-8", "pkg/src", "fn main() {}\n\xff\n", "", "<stdin>: stream did not contain valid UTF-8\n"},
      {"rustfmt fails", "loose", messy_source, dir / "failing:" + path, "<stdin>: error: no\n\n"},
      {"rustfmt missing", "loose", messy_source, dir / "odd",
       "<stdin>: failed to run rustfmt: No such file or directory (os error 2)\n"},
      {"cargo fails", "pkg/src", messy_source, dir / "failing:" + path, "<stdin>: error: manifest is broken\n\n"},
      {"cargo reports no packages", "pkg/src", messy_source, dir / "odd:" + path,
       "<stdin>: cargo metadata has no packages\n"},
      // An edition rustfmt does not know is for rustfmt to reject, in its words.
      {"edition 2019", "loose", messy_source, "", "<stdin>: Invalid value for `--edition`\n\n", {"--edition", "2019"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CommandOptions options = in_folder(dir / c.folder, c.input);
    if (!c.path.empty()) options.env = {"PATH=" + c.path};
    EXPECT_EQ(ended(run_filter(c.args, options)), std::tuple(2, "", c.err));
  }

  // Standard streams that fail: input that is a directory, a full output.
  EXPECT_EQ(ended(run_command({"sh", "-c", "exec \"$0\" < /", TERSIFY_FILTER_BINARY}, cwd_options(dir / "loose"))),
            std::tuple(2, "", "<stdin>: Is a directory (os error 21)\n"));
  EXPECT_EQ(ended(run_command({"sh", "-c", "exec \"$0\" > /dev/full", TERSIFY_FILTER_BINARY},
                              in_folder(dir / "loose", messy_source))),
            std::tuple(2, "", "standard output: No space left on device (os error 28)\n"));
}

}  // namespace
}  // namespace tersify::test
