// Whole runs with the real cargo and rustfmt: what is written, what is
// reported, and what reaches rustfmt.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "e2e/outcome.h"
#include "e2e/project.h"
#include "support/tools.h"

namespace tersify::test {
namespace {

TEST(Run, CheckAsACargoSubcommandReportsWriteRewritesSilentlyAndThenCheckAgrees) {
  TempDir dir;
  write_package(dir, "", "demo", "2021");
  dir.write("src/lib.rs", messy_source);
  dir.write("src/nested/deep.rs", messy_source);

  auto options = path_first(std::filesystem::path(TERSIFY_BINARY).parent_path());
  options.cwd = dir.path();
  EXPECT_EQ(ended(run_command({"cargo", "tersify", "--check"}, options)),
            std::tuple(1,
                       "would update " + real_path(dir.path()) +
                           "/rustfmt.toml\nwould reformat ./src/lib.rs\nwould reformat ./src/nested/deep.rs\n",
                       ""));
  EXPECT_FALSE(dir.exists("rustfmt.toml"));
  EXPECT_EQ(dir.read("src/lib.rs"), messy_source);

  EXPECT_EQ(ended(tersify_in(dir.path(), {})), std::tuple(0, "", ""));
  EXPECT_EQ(dir.read("rustfmt.toml"), "disable_all_formatting = true\n");
  EXPECT_TRUE(formatted(dir.read("src/lib.rs"))) << dir.read("src/lib.rs");
  EXPECT_EQ(dir.read("src/nested/deep.rs"), dir.read("src/lib.rs"));

  // Unchanged files are not written again: their times stay.
  const std::filesystem::path lib = dir / "src/lib.rs";
  const auto old = std::filesystem::last_write_time(lib) - std::chrono::hours(24);
  std::filesystem::last_write_time(lib, old);
  EXPECT_EQ(ended(tersify_in(dir.path(), {"--check"})), std::tuple(0, "", ""));
  EXPECT_EQ(tersify_in(dir.path(), {}).status, 0);
  EXPECT_TRUE(std::filesystem::last_write_time(lib) == old);
}

TEST(Run, EveryEditionReachesRustfmtAndOneCargoRunAnswersTheWorkspace) {
  TempDir dir;
  dir.write("Cargo.toml", "[workspace]\nmembers = [\"e15\", \"e18\", \"e21\", \"e24\"]\nresolver = \"2\"\n");
  for (std::string year : {"15", "18", "21", "24"}) {
    write_package(dir, "e" + year, "e" + year, "20" + year);
    dir.write("e" + year + "/src/lib.rs", "pub fn f() {}\n");
  }
  // `async` is an identifier only in 2015; let chains parse only in 2024.
  dir.write("e15/src/lib.rs", "pub fn f() { let async = 1; let _ = async; }\n");
  dir.write("e24/src/lib.rs", "pub fn f(a: Option<u32>) -> u32 { if let Some(x) = a && x > 0 { x } else { 0 } }\n");
  dir.mkdir("bin");
  write_logging_wrapper(dir / "bin", "cargo", dir / "cargo.log");
  write_logging_wrapper(dir / "bin", "rustfmt", dir / "rustfmt.log");

  auto result = tersify_in(dir.path(), {}, one_at_a_time(path_first(dir / "bin")));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(count_lines(dir / "cargo.log"), 1);
  const std::string tail =
      " --emit stdout --config max_width=160,use_small_heuristics=Max,disable_all_formatting=false";
  // The 2015 file changes, so a second run confirms that its new text is
  // settled.
  EXPECT_EQ(lines_of(dir.read("rustfmt.log")),
            (std::vector<std::string>{"--edition 2015" + tail, "--edition 2015" + tail, "--edition 2018" + tail,
                                      "--edition 2021" + tail, "--edition 2024" + tail}));
  // The workspace root is the package root of ".": one settings file there.
  EXPECT_TRUE(dir.exists("rustfmt.toml"));
  EXPECT_FALSE(dir.exists("e15/rustfmt.toml"));
}

TEST(Run, RustfmtTomlIsCreatedOrAmendedInPlace) {
  struct Case {
    const char* before;  // nullptr: no file
    const char* after;
  };
  const Case cases[] = {
      {nullptr, "disable_all_formatting = true\n"},
      {"disable_all_formatting = false\n", "disable_all_formatting = true\n"},
      {"disable_all_formatting=false\n", "disable_all_formatting=true\n"},
      {"disable_all_formatting = false # keep\n", "disable_all_formatting = true # keep\n"},
      {"edition = \"2021\"\r\ndisable_all_formatting = false\r\n",
       "edition = \"2021\"\r\ndisable_all_formatting = true\r\n"},
      {"# disable_all_formatting = false\n", "# disable_all_formatting = false\ndisable_all_formatting = true\n"},
      {"max_width = 100", "max_width = 100\ndisable_all_formatting = true\n"},
  };
  // One folder per case (outside every package, so no cargo run), all in one
  // run.
  TempDir dir;
  std::vector<std::string> folders;
  std::string updates;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    folders.push_back("f" + std::to_string(i));
    dir.write(folders.back() + "/a.rs", "pub fn f() {}\n");
    if (cases[i].before) dir.write(folders.back() + "/rustfmt.toml", cases[i].before);
    updates += "would update " + real_path(dir.path()) + "/" + folders.back() + "/rustfmt.toml\n";
  }

  auto check = folders;
  check.insert(check.begin(), "--check");
  EXPECT_EQ(ended(tersify_in(dir.path(), check)), std::tuple(1, updates, ""));
  EXPECT_FALSE(dir.exists("f0/rustfmt.toml"));
  EXPECT_EQ(ended(tersify_in(dir.path(), folders)), std::tuple(0, "", ""));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(dir.read(folders[i] + "/rustfmt.toml"), cases[i].after) << i;
  }
  EXPECT_EQ(ended(tersify_in(dir.path(), check)), std::tuple(0, "", ""));
}

TEST(Run, ConfigPathFollowsTheArguments) {
  TempDir dir;
  write_package(dir, "pkg", "pkg", "2021");
  dir.write("pkg/src/lib.rs", messy_source);
  dir.write("loose/a.rs", messy_source);
  const std::string update = "would update " + real_path(dir.path());

  // A bare file name: its folder is the working directory, in the package.
  EXPECT_EQ(tersify_in(dir / "pkg/src", {"--check", "lib.rs"}).out,
            update + "/pkg/rustfmt.toml\nwould reformat lib.rs\n");
  EXPECT_EQ(tersify_in(dir / "pkg/src", {"--check", "./lib.rs"}).out,
            update + "/pkg/rustfmt.toml\nwould reformat ./lib.rs\n");
  // Outside every package: in the argument's own directory. The update list
  // is in path order, the reformat list in file order.
  EXPECT_EQ(tersify_in(dir.path(), {"--check", "pkg", "loose"}).out,
            update + "/loose/rustfmt.toml\n" + update +
                "/pkg/rustfmt.toml\nwould reformat loose/a.rs\nwould reformat pkg/src/lib.rs\n");
  // No Rust file listed, nothing touched.
  dir.write("pkg/README.md", "# pkg\n");
  dir.mkdir("empty");
  for (const char* argument : {"pkg/README.md", "empty"}) {
    EXPECT_EQ(ended(tersify_in(dir.path(), {argument})), std::tuple(0, "", "")) << argument;
  }
  EXPECT_FALSE(dir.exists("pkg/rustfmt.toml"));
  EXPECT_FALSE(dir.exists("empty/rustfmt.toml"));
}

TEST(Run, WidthComesFromTheNearestRustfmtTomlUnlessGiven) {
  TempDir dir;
  write_package(dir, "", "width", "2021");
  dir.write("rustfmt.toml", "max_width = 100\ndisable_all_formatting = true\n");
  dir.write("src/narrow/rustfmt.toml", "max_width = 50\n");
  dir.write("src/narrow/a.rs", long_call);
  dir.write("src/b.rs", long_call);
  dir.write("src/lib.rs", "");
  dir.mkdir("bin");
  write_logging_wrapper(dir / "bin", "rustfmt", dir / "rustfmt.log");

  ASSERT_EQ(tersify_in(dir.path(), {}, one_at_a_time(path_first(dir / "bin"))).status, 0);
  // ./src/b.rs, ./src/lib.rs (which gains a line feed), ./src/narrow/a.rs:
  // each changes, so each takes a second run that confirms its new text.
  auto log = lines_of(dir.read("rustfmt.log"));
  ASSERT_EQ(log.size(), 6u);
  for (std::size_t i = 0; i < log.size(); ++i) {
    EXPECT_NE(log[i].find(i < 4 ? "max_width=100," : "max_width=50,"), std::string::npos) << log[i];
  }
  EXPECT_LE(longest_line(dir.read("src/narrow/a.rs")), 50u) << dir.read("src/narrow/a.rs");
  EXPECT_LE(longest_line(dir.read("src/b.rs")), 100u) << dir.read("src/b.rs");
  EXPECT_NE(dir.read("src/b.rs").find(long_call_line), std::string::npos) << dir.read("src/b.rs");

  ASSERT_EQ(tersify_in(dir.path(), {"--width", "300", "src/narrow"}, path_first(dir / "bin")).status, 0);
  log = lines_of(dir.read("rustfmt.log"));
  EXPECT_NE(log.back().find("max_width=300,"), std::string::npos) << log.back();
  EXPECT_NE(dir.read("src/narrow/a.rs").find(long_call_line), std::string::npos);
}

TEST(Run, WriteGivesTheCompactLayoutThatBuildsAndKeepsIt) {
  // The macro's pattern requires the trailing comma inside its braces; the
  // joined block around the call must keep it for the crate to compile.
  const std::string kept =
      "pub enum Color { Red, Green }\nfn a() {}\nfn b() {}\n"
      "macro_rules! names {\n    ($($x:ident,)*) => {\n        [$(stringify!($x)),*]\n    };\n}\n";
  TempDir dir;
  write_package(dir, "", "layout", "2021");
  dir.write("src/lib.rs",
            kept +
                "pub fn pick(c: Color, flag: bool) -> u32 {\n"
                "    let n = match c {\n        Color::Red => 1,\n        Color::Green => 2,\n    };\n"
                "    if flag { a(); } else { b(); }\n    n\n}\n"
                "pub fn all() -> [&'static str; 2] {\n    names! {\n        alpha,\n        beta,\n    }\n}\n"
                "pub struct P {\n    pub x: i32,\n}\n"
                "pub fn make(v: i32) -> P {\n    if v > 0 {\n        return P { x: v };\n    } else {\n"
                "        println!(\"negative\");\n    }\n    P {\n        x: 0,\n    }\n}\n");
  ASSERT_EQ(tersify_in(dir.path(), {}).status, 0);
  EXPECT_EQ(dir.read("src/lib.rs"), kept +
                                        "pub fn pick(c: Color, flag: bool) -> u32 {\n"
                                        "    let n = match c { Color::Red => 1, Color::Green => 2 };\n"
                                        "    if flag { a(); }\n    else { b(); }\n    n\n}\n"
                                        "pub fn all() -> [&'static str; 2] { names! { alpha, beta, } }\n"
                                        "pub struct P { pub x: i32 }\n"
                                        "pub fn make(v: i32) -> P {\n    if v > 0 { return P { x: v }; }\n"
                                        "    else { println!(\"negative\"); }\n    P { x: 0 }\n}\n");
  // Formatting and compacting the result again gives the same text.
  EXPECT_EQ(ended(tersify_in(dir.path(), {"--check"})), std::tuple(0, "", ""));
  CommandOptions offline = cwd_options(dir.path());
  offline.env.push_back("CARGO_TARGET_DIR=" + (dir / "target"));
  auto built = run_command({"cargo", "check", "--offline", "--quiet"}, offline);
  EXPECT_EQ(built.status, 0) << built.err;
}

}  // namespace
}  // namespace tersify::test
