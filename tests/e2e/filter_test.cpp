// tersify-rustfmt as editors run it: the source on standard input, the
// working directory the file's folder, the real cargo and rustfmt. Its output
// must be what cargo tersify writes for that file; a failure must leave
// standard output empty, so that the editor keeps its buffer.

#include <gtest/gtest.h>

#include <sstream>

#include "e2e/project.h"
#include "support/tools.h"

namespace tersify::test {
namespace {

// Narrow rustfmt.toml widths break this call; 160 and more keep it whole.
const std::string long_call =
    "pub fn call() { first_function_name(argument_number_one, argument_number_two, argument_number_three); }\n";
const std::string long_call_line =
    "first_function_name(argument_number_one, argument_number_two, argument_number_three);";
// `async` is an identifier in edition 2015 only.
const std::string async_source = "pub fn f() -> u32 { let async = 1; async }\n";
const std::string async_rejected = "<stdin>: error: expected identifier, found keyword `async`\n";

CommandOptions in_folder(const std::string& cwd, const std::string& input) {
  CommandOptions options = cwd_options(cwd);
  options.input = input;
  return options;
}

std::size_t longest_line(const std::string& text) {
  std::size_t longest = 0;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) longest = std::max(longest, line.size());
  return longest;
}

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
  EXPECT_NE(written, source);
  EXPECT_NE(written.find("let async = 1;"), std::string::npos) << written;
  EXPECT_LE(longest_line(written), 60u) << written;
  for (size_t i = 0; i < results.size(); ++i) {
    SCOPED_TRACE(editors[i].name);
    EXPECT_EQ(results[i].status, 0);
    EXPECT_EQ(results[i].err, "");
    EXPECT_EQ(results[i].out, written);
  }

  // Nothing left to change: the text comes back as it went in.
  auto again = run_filter({}, in_folder(dir / "src/nested", written));
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out, written);
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

  auto old_package = run_filter({}, in_folder(dir / "old/src/deep", async_source));
  EXPECT_EQ(old_package.status, 0) << old_package.err;
  EXPECT_EQ(old_package.out, "pub fn f() -> u32 {\n    let async = 1;\n    async\n}\n");

  // 2021 in a 2021 package and outside every package alike.
  for (const char* folder : {"new/src", "loose"}) {
    SCOPED_TRACE(folder);
    auto rejected = run_filter({}, in_folder(dir / folder, async_source));
    EXPECT_EQ(rejected.status, 2);
    EXPECT_EQ(rejected.out, "");
    EXPECT_TRUE(rejected.err.starts_with(async_rejected)) << rejected.err;
  }

  auto overridden = run_filter({"--edition", "2021"}, in_folder(dir / "old/src/deep", async_source));
  EXPECT_EQ(overridden.status, 2);
  EXPECT_TRUE(overridden.err.starts_with(async_rejected)) << overridden.err;

  // A given edition asks cargo nothing: the one on PATH would fail.
  auto options = in_folder(dir / "new/src", async_source);
  options.path_prefix = dir / "bin";
  auto given = run_filter({"--edition=2015"}, options);
  EXPECT_EQ(given.status, 0) << given.err;
  EXPECT_EQ(given.out, old_package.out);
}

TEST(Filter, AcceptedArgumentsChangeOnlyWhatTheySay) {
  TempDir dir;
  dir.write("rustfmt.toml", "max_width = 60\n");
  dir.mkdir("src");
  auto narrow = run_filter({}, in_folder(dir / "src", long_call));
  ASSERT_EQ(narrow.status, 0) << narrow.err;
  EXPECT_LE(longest_line(narrow.out), 60u) << narrow.out;
  auto wide = run_filter({"--width", "300"}, in_folder(dir / "src", long_call));
  ASSERT_EQ(wide.status, 0) << wide.err;
  EXPECT_NE(wide.out.find(long_call_line), std::string::npos) << wide.out;

  struct Case {
    std::vector<std::string> args;
    const std::string& out;
  };
  const Case cases[] = {
      {{"--quiet"}, narrow.out},           {{"-q"}, narrow.out},
      {{"--emit", "stdout"}, narrow.out},  {{"--emit=stdout"}, narrow.out},
      {{"--edition", "2021"}, narrow.out}, {{"-q", "--emit=stdout", "--edition=2024"}, narrow.out},
      {{"--width", "+300"}, wide.out},     {{"--width", "70", "--width", "300"}, wide.out},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    auto result = run_filter(c.args, in_folder(dir / "src", long_call));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, c.out);
  }
}

TEST(Filter, UnsupportedArgumentsStopWithALineNamingThem) {
  struct Case {
    std::vector<std::string> args;
    const char* err;
  };
  const Case cases[] = {
      {{"--frobnicate"}, "--frobnicate: unsupported argument\n"},
      {{"--check"}, "--check: unsupported argument\n"},
      {{"-q", "src/lib.rs"}, "src/lib.rs: unsupported argument\n"},
      {{"--width=100"}, "--width=100: unsupported argument\n"},
      {{"--emit", "files"}, "--emit files: only stdout is supported\n"},
      {{"--emit=files"}, "--emit=files: only stdout is supported\n"},
      {{"--emit"}, "--emit: missing value\n"},
      {{"--edition"}, "--edition: missing value\n"},
      {{"--edition="}, "--edition=: missing value\n"},
      {{"--width"}, "--width: missing value\n"},
      {{"--width", "-1"}, "--width -1: expected an unsigned integer\n"},
      {{"--width", "18446744073709551616"}, "--width 18446744073709551616: expected an unsigned integer\n"},
      {{"-q", "--edition", "\xff"}, "\xEF\xBF\xBD: argument is not valid UTF-8\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    CommandOptions options;
    options.input = messy_source;
    auto result = run_filter(c.args, options);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.err);
  }
}

TEST(Filter, FailuresPrintOneLineAndNothingOnStandardOutput) {
  TempDir dir;
  write_package(dir, "pkg", "pkg", "2021");
  dir.mkdir("pkg/src");
  dir.mkdir("loose");
  dir.mkdir("fake-rustfmt");
  write_script(dir / "fake-rustfmt/rustfmt", "cat >/dev/null; echo 'error: no' >&2; exit 1");
  dir.mkdir("fake-cargo");
  write_script(dir / "fake-cargo/cargo", "echo 'error: manifest is broken' >&2; exit 101");
  dir.mkdir("odd-cargo");
  write_script(dir / "odd-cargo/cargo", "echo '{\"version\": 1}'");
  dir.mkdir("empty");
  const std::string path = std::getenv("PATH");

  struct Case {
    const char* name;
    std::string folder;
    std::string input;
    std::string path;  // PATH for the run; "": unchanged
    std::string err;
  };
  const Case cases[] = {
      {"input not UTF-8", "pkg/src", "fn main() {}\n\xff\n", "", "<stdin>: stream did not contain valid UTF-8\n"},
      {"rustfmt fails", "loose", messy_source, dir / "fake-rustfmt:" + path, "<stdin>: error: no\n\n"},
      {"rustfmt missing", "loose", messy_source, dir / "empty",
       "<stdin>: failed to run rustfmt: No such file or directory (os error 2)\n"},
      {"cargo fails", "pkg/src", messy_source, dir / "fake-cargo:" + path, "<stdin>: error: manifest is broken\n\n"},
      {"cargo reports no packages", "pkg/src", messy_source, dir / "odd-cargo:" + path,
       "<stdin>: cargo metadata has no packages\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CommandOptions options = in_folder(dir / c.folder, c.input);
    if (!c.path.empty()) options.env = {"PATH=" + c.path};
    auto result = run_filter({}, options);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.err);
  }

  // The real rustfmt's message comes as the main tool prints it after a path.
  const std::string broken = "fn f( {\n";
  dir.write("pkg/src/lib.rs", broken);
  auto tool = tersify_in(dir / "pkg", {"src"});
  ASSERT_EQ(tool.status, 2);
  ASSERT_TRUE(tool.err.starts_with("src/lib.rs: error: ")) << tool.err;
  auto filter = run_filter({}, in_folder(dir / "pkg/src", broken));
  EXPECT_EQ(filter.status, 2);
  EXPECT_EQ(filter.out, "");
  EXPECT_EQ(filter.err, "<stdin>: " + tool.err.substr(std::string("src/lib.rs: ").size()));

  // An edition rustfmt does not know is for rustfmt to reject, in its words.
  auto unknown = run_filter({"--edition", "2019"}, in_folder(dir / "loose", messy_source));
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_EQ(unknown.err, "<stdin>: Invalid value for `--edition`\n\n");

  // Standard streams that fail: input that is a directory, a full output.
  auto unreadable = run_command({"sh", "-c", "exec \"$0\" < /", TERSIFY_FILTER_BINARY}, cwd_options(dir / "loose"));
  EXPECT_EQ(unreadable.status, 2);
  EXPECT_EQ(unreadable.out, "");
  EXPECT_EQ(unreadable.err, "<stdin>: Is a directory (os error 21)\n");
  auto full = run_command({"sh", "-c", "exec \"$0\" > /dev/full", TERSIFY_FILTER_BINARY},
                          in_folder(dir / "loose", messy_source));
  EXPECT_EQ(full.status, 2);
  EXPECT_EQ(full.err, "standard output: No space left on device (os error 28)\n");
}

}  // namespace
}  // namespace tersify::test
