// Each file gets the configuration rustfmt finds from its own folder, and
// the same text whatever the working directory of the run, the filter's
// included.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "compact/compact.h"
#include "e2e/project.h"

namespace tersify::test {
namespace {

const std::string configured_source =
    "pub fn f(a: Option<u32>) -> u32 { if let Some(x) = a { let y = x + 1; y * 2 } else { 0 } }\n"
    "pub struct P { pub x: u32, pub y: u32 }\n"
    "pub fn g() -> u32 { compute_something(first_argument_value, second_argument_value, third_value) }\n";

// Member folder, its configuration file (below the member's folder) and
// text, the width and tab columns that the file gives. c has none of its own
// and takes the workspace's; d's lies beside its source.
struct Member {
  const char* name;
  const char* config_name;
  const char* config;
  std::size_t width;
  std::size_t tab_width;
};
const Member members[] = {
    {"a", ".rustfmt.toml", "max_width = 50\n", 50, 1},
    {"b", "rustfmt.toml", "max_width = 60 # short lines\nhard_tabs = true\n", 60, 4},
    {"c", nullptr, nullptr, 160, 1},
    {"d", "src/.rustfmt.toml", "max_width = 70\n", 70, 1},
};

void write_workspace(const TempDir& dir) {
  dir.write("ws/Cargo.toml", "[workspace]\nmembers = [\"a\", \"b\", \"c\", \"d\"]\nresolver = \"2\"\n");
  dir.write("ws/rustfmt.toml", "tab_spaces = 2\n");
  for (const auto& member : members) {
    std::string root = std::string("ws/") + member.name;
    write_package(dir, root, member.name, "2021");
    if (member.config_name) dir.write(root + "/" + member.config_name, member.config);
    dir.write(root + "/src/lib.rs", configured_source);
  }
}

// What rustfmt writes for the file in its own folder, then compaction, until
// the text settles: computed apart from the tool.
std::string expected_text(const std::string& folder, const Member& member) {
  std::string text = configured_source;
  for (int pass = 0; pass < 4; ++pass) {
    CommandOptions options;
    options.cwd = folder;
    options.input = text;
    auto formatted = run_command({"rustfmt", "--edition", "2021", "--emit", "stdout", "--config",
                                  "max_width=" + std::to_string(member.width) +
                                      ",use_small_heuristics=Max,disable_all_formatting=false"},
                                 options);
    EXPECT_EQ(formatted.status, 0) << formatted.err;
    std::string next = compact::Compaction(formatted.out, member.width, member.tab_width).result();
    if (next == text) break;
    text = std::move(next);
  }
  return text;
}

TEST(FileConfiguration, TheSameFilesFromEveryWorkingDirectoryAndEveryWay) {
  TempDir expected_dir;
  write_workspace(expected_dir);
  std::map<std::string, std::string> expected;
  for (const auto& member : members) {
    expected[member.name] = expected_text(expected_dir / (std::string("ws/") + member.name + "/src"), member);
  }
  ASSERT_NE(expected["b"].find("\n\t"), std::string::npos) << "b's hard tabs were not used";
  ASSERT_NE(expected["c"].find("\n  "), std::string::npos) << "the workspace's tab_spaces were not used";

  struct Way {
    const char* cwd;  // relative to the temporary folder
    std::vector<std::string> args;
    std::vector<std::string> env;
  };
  const Way ways[] = {
      {"ws/a", {".."}, {"CARGO_TERSIFY_FORK_SERVER=0", "CARGO_TERSIFY_JOBS=1"}},
      {"ws", {}, {"CARGO_TERSIFY_JOBS=1"}},
      {"", {"ws"}, {}},
      {"ws/b", {"../a", "../c", "../d", "."}, {}},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(std::string("in ") + way.cwd);
    TempDir dir;
    write_workspace(dir);
    CommandOptions options;
    options.env = way.env;
    auto run = tersify_in(dir / way.cwd, way.args, options);
    ASSERT_EQ(run.status, 0) << run.err;
    for (const auto& member : members) {
      EXPECT_EQ(dir.read(std::string("ws/") + member.name + "/src/lib.rs"), expected[member.name]) << member.name;
    }
    // The files rustfmt reads were amended; none was added to hide them.
    EXPECT_EQ(dir.read("ws/a/.rustfmt.toml"), "max_width = 50\ndisable_all_formatting = true\n");
    EXPECT_EQ(dir.read("ws/b/rustfmt.toml"), std::string(members[1].config) + "disable_all_formatting = true\n");
    EXPECT_EQ(dir.read("ws/rustfmt.toml"), "tab_spaces = 2\ndisable_all_formatting = true\n");
    EXPECT_EQ(dir.read("ws/d/src/.rustfmt.toml"), "max_width = 70\ndisable_all_formatting = true\n");
    EXPECT_FALSE(dir.exists("ws/a/rustfmt.toml"));
    EXPECT_FALSE(dir.exists("ws/c/rustfmt.toml"));
    EXPECT_FALSE(dir.exists("ws/d/rustfmt.toml"));
    if (way.args.empty()) {
      // So cargo fmt leaves every file alone.
      auto fmt = run_command({"cargo", "fmt", "--check"}, cwd_options(dir / "ws"));
      EXPECT_EQ(fmt.status, 0) << fmt.out << fmt.err;
    }
  }
}

// rustfmt reads only the nearest configuration file, so a new one beside
// the package's manifest starts as a copy of the one it hides.
TEST(FileConfiguration, ANewFileKeepsTheSettingsOfTheOneAboveIt) {
  TempDir dir;
  dir.write("rustfmt.toml", "max_width = 60\n");
  write_package(dir, "pkg", "pkg", "2021");
  dir.write("pkg/src/lib.rs", long_call);
  ASSERT_EQ(ended(tersify_in(dir / "pkg", {})), std::tuple(0, "", ""));
  EXPECT_EQ(dir.read("pkg/rustfmt.toml"), "max_width = 60\ndisable_all_formatting = true\n");
  EXPECT_LE(longest_line(dir.read("pkg/src/lib.rs")), 60u) << dir.read("pkg/src/lib.rs");
  EXPECT_EQ(ended(tersify_in(dir / "pkg", {"--check"})), std::tuple(0, "", ""));
  EXPECT_EQ(dir.read("rustfmt.toml"), "max_width = 60\n");
}

// An editor runs the filter in its own folder and names the buffer's file,
// which may not exist yet, nor its folder.
TEST(FileConfiguration, TheFilterTakesTheNamedFilesSettings) {
  TempDir dir;
  write_workspace(dir);
  dir.mkdir("elsewhere");
  std::string expected = expected_text(dir / "ws/b/src", members[1]);
  for (const char* name : {"ws/b/src/lib.rs", "ws/b/src/new.rs", "ws/b/src/new/folders/x.rs"}) {
    SCOPED_TRACE(name);
    CommandOptions options;
    options.cwd = dir / "elsewhere";
    options.input = configured_source;
    auto filtered = run_filter({"--stdin-filename", dir / name}, options);
    ASSERT_EQ(filtered.status, 0) << filtered.err;
    EXPECT_EQ(filtered.out, expected);
  }
}

}  // namespace
}  // namespace tersify::test
