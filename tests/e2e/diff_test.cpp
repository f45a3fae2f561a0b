// --diff with the real cargo, rustfmt, patch and git: what it prints is a
// patch that turns the files into what a write leaves.

#include <gtest/gtest.h>

#include <cstdlib>

#include "e2e/project.h"
#include "support/tools.h"
#include "support/tree.h"

namespace tersify::test {
namespace {

std::string real_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  std::string result = resolved ? resolved : "";
  std::free(resolved);
  return result;
}

TEST(Diff, PatchAndGitApplyTurnACrateIntoWhatAWriteLeaves) {
  std::string crate = registry_crate("memchr");
  ASSERT_FALSE(crate.empty()) << "memchr is not installed (scripts/install-deps.sh --test)";
  TempDir dir;
  for (const char* copy : {"checked", "patched", "applied", "written"}) {
    copy_crate(crate, dir / copy);
    dir.write(std::string(copy) + "/src/no_newline.rs", "pub fn f() -> u32 {\n    1\n}");
    dir.write(std::string(copy) + "/src/crlf.rs", "pub fn g() -> u32 {\r\n    2\r\n}\r\n");
    dir.write(std::string(copy) + "/src/odd name.rs", "pub fn h() -> u32 {\n    3\n}\n");
    // A package below memchr's, whose new rustfmt.toml starts from memchr's.
    write_package(dir, std::string(copy) + "/inner", "inner", "2021");
    dir.write(std::string(copy) + "/inner/src/lib.rs", messy_source);
  }
  auto before = snapshot(dir / "checked");

  auto diff = tersify_in(dir / "checked", {"--diff"});
  ASSERT_EQ(diff.status, 1) << diff.err;
  EXPECT_EQ(diff.err, "");
  EXPECT_TRUE(snapshot(dir / "checked") == before) << "--diff writes nothing";
  EXPECT_EQ(diff.out.find("would update"), std::string::npos);
  EXPECT_EQ(diff.out.find("would reformat"), std::string::npos);
  // The configuration files first, in path order; a new one from /dev/null.
  EXPECT_TRUE(
      diff.out.starts_with("--- /dev/null\n+++ b/inner/rustfmt.toml\n@@ -0,0 +1,3 @@\n+max_width = 79\n"
                           "+use_small_heuristics = \"max\"\n+disable_all_formatting = true\n"
                           "--- a/rustfmt.toml\n+++ b/rustfmt.toml\n@@ -1,2 +1,3 @@\n"))
      << diff.out.substr(0, 400);
  for (const char* part : {"\n--- a/src/cow.rs\n+++ b/src/cow.rs\n@@ -", "\n-    1\n-}\n\\ No newline at end of file\n",
                           "\n-pub fn g() -> u32 {\r\n", "\n--- \"a/src/odd name.rs\"\n+++ \"b/src/odd name.rs\"\n"}) {
    EXPECT_NE(diff.out.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(tersify_in(dir / "checked", {"--diff"}, one_at_a_time({})).out, diff.out)
      << "one file after the other settles as files side by side do";

  CommandOptions input = cwd_options(dir / "patched");
  input.input = diff.out;
  auto patch = run_command({"patch", "-p1", "-s", "--batch"}, input);
  EXPECT_EQ(patch.status, 0) << patch.out << patch.err;
  input.cwd = dir / "applied";
  auto apply = run_command({"git", "apply"}, input);
  EXPECT_EQ(apply.status, 0) << apply.out << apply.err;

  auto write = tersify_in(dir / "written", {});
  ASSERT_EQ(write.status, 0) << write.err;
  auto written = snapshot(dir / "written");
  EXPECT_NE(written, snapshot(dir / "checked"));
  EXPECT_TRUE(snapshot(dir / "patched") == written);
  EXPECT_TRUE(snapshot(dir / "applied") == written);
  EXPECT_EQ(tersify_in(dir / "written", {"--diff"}).out, "") << "a --diff after a write finds nothing";
  EXPECT_EQ(ended(tersify_in(dir / "applied", {"--check"})), std::tuple(0, "", "")) << "nor a --check after the patch";
}

TEST(Diff, HeadersNameThePathBelowTheWorkingDirectory) {
  TempDir dir;
  write_package(dir, "pkg", "pkg", "2021");
  dir.write("pkg/rustfmt.toml", "disable_all_formatting = true\n");
  dir.write("pkg/src/lib.rs", messy_source);
  dir.mkdir("other");
  const std::string in_pkg = "--- a/src/lib.rs\n+++ b/src/lib.rs\n@@ -1 ";
  const std::string outside = real_path(dir / "pkg/src/lib.rs");
  struct Case {
    const char* cwd;
    std::vector<std::string> args;
    std::string start;  // of the output
  };
  const Case cases[] = {
      {"pkg", {"--diff"}, in_pkg},  // "./src/lib.rs"
      {"pkg", {"--check", "--diff", "src"}, in_pkg},
      {"pkg", {"tersify", "--diff", "src/lib.rs"}, in_pkg},
      {"pkg", {"--diff", dir / "pkg/src/lib.rs"}, in_pkg},
      {"pkg/src", {"--diff", "../src//lib.rs"}, "--- a/lib.rs\n+++ b/lib.rs\n@@ -1 "},
      {"other", {"--diff", "../pkg/src/lib.rs"}, "--- " + outside + "\n+++ " + outside + "\n@@ -1 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    auto result = tersify_in(dir / c.cwd, c.args);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_TRUE(result.out.starts_with(c.start)) << result.out;
  }

  // A rustfmt whose output needs a second run shows that --diff settles each
  // text as a write does: it adds "// once", which its next run turns into
  // "// twice".
  dir.mkdir("bin");
  write_script(dir / "bin/rustfmt", "in=$(mktemp)\ncat > \"$in\"\n\"" + find_program("rustfmt") +
                                        "\" \"$@\" < \"$in\" | sed 's|// once|// twice|'\n"
                                        "grep -q '// ' \"$in\" || echo '// once'\nrm -f \"$in\"\n");
  auto settled = tersify_in(dir / "pkg", {"--diff"}, path_first(dir / "bin"));
  EXPECT_EQ(settled.status, 1) << settled.err;
  EXPECT_NE(settled.out.find("\n+// twice\n"), std::string::npos) << settled.out;

  // Nothing to change: no output at all.
  ASSERT_EQ(tersify_in(dir / "pkg", {}).status, 0);
  auto unchanged = tersify_in(dir / "pkg", {"--diff"});
  EXPECT_EQ(unchanged.status, 0);
  EXPECT_EQ(unchanged.out, "");
  EXPECT_EQ(unchanged.err, "");
}

}  // namespace
}  // namespace tersify::test
