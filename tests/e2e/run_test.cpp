// Whole runs with the real cargo and rustfmt: what is written, what is
// reported, and what reaches rustfmt.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>

#include "e2e/project.h"
#include "support/tools.h"

namespace tersify::test {
namespace {

std::string real(const TempDir& dir, const std::string& relative = "") {
  char* resolved = ::realpath((relative.empty() ? dir.path() : dir / relative).c_str(), nullptr);
  std::string path = resolved ? resolved : "";
  std::free(resolved);
  return path;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(Run, CheckReportsWriteRewritesSilentlyAndThenCheckAgrees) {
  TempDir dir;
  write_package(dir, "", "demo", "2021");
  dir.write("src/lib.rs", messy_source);
  dir.write("src/nested/deep.rs", messy_source);

  auto check = tersify_in(dir.path(), {"tersify", "--check"});
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(check.out, "would update " + real(dir) +
                           "/rustfmt.toml\nwould reformat ./src/lib.rs\n"
                           "would reformat ./src/nested/deep.rs\n");
  EXPECT_EQ(check.err, "");
  EXPECT_FALSE(dir.exists("rustfmt.toml"));
  EXPECT_EQ(dir.read("src/lib.rs"), messy_source);

  auto write = tersify_in(dir.path(), {});
  EXPECT_EQ(write.status, 0);
  EXPECT_EQ(write.out, "");
  EXPECT_EQ(write.err, "");
  EXPECT_EQ(dir.read("rustfmt.toml"), "disable_all_formatting = true\n");
  std::string formatted = dir.read("src/lib.rs");
  EXPECT_NE(formatted, messy_source);
  EXPECT_NE(formatted.find("println!(\"{}\", x);"), std::string::npos) << formatted;
  EXPECT_EQ(dir.read("src/nested/deep.rs"), formatted);

  // Unchanged files are not written again: their times stay.
  struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "src/lib.rs").c_str(), old_times, 0), 0);
  auto again = tersify_in(dir.path(), {"--check"});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out, "");
  EXPECT_EQ(tersify_in(dir.path(), {}).status, 0);
  struct stat st;
  ASSERT_EQ(::stat((dir / "src/lib.rs").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

TEST(Run, RunsAsACargoSubcommand) {
  TempDir dir;
  write_package(dir, "", "sub", "2021");
  dir.write("src/main.rs", messy_source);
  std::string binary_dir = std::string(TERSIFY_BINARY).substr(0, std::string(TERSIFY_BINARY).rfind('/'));
  auto options = path_first(binary_dir);
  options.cwd = dir.path();
  auto check = run_command({"cargo", "tersify", "--check"}, options);
  EXPECT_EQ(check.status, 1) << check.err;
  EXPECT_EQ(check.out, "would update " + real(dir) + "/rustfmt.toml\nwould reformat ./src/main.rs\n");
}

TEST(Run, EveryEditionReachesRustfmtAndOneCargoRunAnswersTheWorkspace) {
  TempDir dir;
  dir.write("Cargo.toml", "[workspace]\nmembers = [\"e15\", \"e18\", \"e21\", \"e24\"]\nresolver = \"2\"\n");
  write_package(dir, "e15", "e15", "2015");
  write_package(dir, "e18", "e18", "2018");
  write_package(dir, "e21", "e21", "2021");
  write_package(dir, "e24", "e24", "2024");
  // `async` is an identifier only in 2015; let chains parse only in 2024.
  dir.write("e15/src/lib.rs", "pub fn f() { let async = 1; let _ = async; }\n");
  dir.write("e18/src/lib.rs", "pub fn f() {}\n");
  dir.write("e21/src/lib.rs", "pub fn f() {}\n");
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

  // The same 2015 text in a 2018 package is rejected by rustfmt.
  dir.write("e18/src/lib.rs", "pub fn f() { let async = 1; let _ = async; }\n");
  auto rejected = tersify_in(dir.path(), {"e18"});
  EXPECT_EQ(rejected.status, 2);
  EXPECT_TRUE(rejected.err.starts_with("e18/src/lib.rs: error: expected identifier, found keyword `async`\n"))
      << rejected.err;
  EXPECT_TRUE(rejected.err.ends_with("\n\n")) << "rustfmt's own final newline stays in the message";
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
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before ? c.before : "(none)");
    TempDir dir;
    write_package(dir, "", "conf", "2021");
    dir.mkdir("src");
    if (c.before) dir.write("rustfmt.toml", c.before);

    auto check = tersify_in(dir.path(), {"--check"});
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.out, "would update " + real(dir) + "/rustfmt.toml\n");
    EXPECT_EQ(dir.exists("rustfmt.toml"), c.before != nullptr);

    auto write = tersify_in(dir.path(), {});
    EXPECT_EQ(write.status, 0);
    EXPECT_EQ(write.out, "");
    EXPECT_EQ(dir.read("rustfmt.toml"), c.after);
    EXPECT_EQ(tersify_in(dir.path(), {"--check"}).status, 0);
  }
}

TEST(Run, ConfigPathFollowsTheArguments) {
  TempDir dir;
  write_package(dir, "pkg", "pkg", "2021");
  dir.write("pkg/src/lib.rs", messy_source);
  dir.write("loose/a.rs", messy_source);

  // A bare file name: its folder is the working directory, in the package.
  auto bare = tersify_in(dir / "pkg/src", {"--check", "lib.rs"});
  EXPECT_EQ(bare.status, 1);
  EXPECT_EQ(bare.out, "would update " + real(dir) + "/pkg/rustfmt.toml\nwould reformat lib.rs\n");

  auto dotted = tersify_in(dir / "pkg/src", {"--check", "./lib.rs"});
  EXPECT_EQ(dotted.out, "would update " + real(dir) + "/pkg/rustfmt.toml\nwould reformat ./lib.rs\n");

  // Outside every package: in the argument's own directory. The update list
  // is in path order, the reformat list in file order.
  auto two = tersify_in(dir.path(), {"--check", "pkg", "loose"});
  EXPECT_EQ(two.out, "would update " + real(dir) + "/loose/rustfmt.toml\nwould update " + real(dir) +
                         "/pkg/rustfmt.toml\nwould reformat loose/a.rs\nwould reformat pkg/src/lib.rs\n");
}

TEST(Run, WidthComesFromTheNearestRustfmtTomlUnlessGiven) {
  const std::string long_call =
      "pub fn f() { call_something(first_argument_value, second_argument_value, third_argument_value); }\n"
      "fn call_something(_: u8, _: u8, _: u8) {}\n"
      "const first_argument_value: u8 = 1; const second_argument_value: u8 = 2; "
      "const third_argument_value: u8 = 3;\n";
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
  for (const auto& line : lines_of(dir.read("src/narrow/a.rs"))) EXPECT_LE(line.size(), 50u) << line;
  for (const auto& line : lines_of(dir.read("src/b.rs"))) EXPECT_LE(line.size(), 100u) << line;
  EXPECT_NE(dir.read("src/b.rs")
                .find("call_something(first_argument_value, second_argument_value, "
                      "third_argument_value);"),
            std::string::npos);

  auto wide = tersify_in(dir.path(), {"--width", "300", "src/narrow"}, path_first(dir / "bin"));
  ASSERT_EQ(wide.status, 0);
  log = lines_of(dir.read("rustfmt.log"));
  EXPECT_NE(log.back().find("max_width=300,"), std::string::npos) << log.back();
  EXPECT_NE(dir.read("src/narrow/a.rs")
                .find("call_something(first_argument_value, second_argument_value, "
                      "third_argument_value);"),
            std::string::npos);
}

TEST(Run, WriteModeGivesTheCompactLayoutAndKeepsIt) {
  TempDir dir;
  write_package(dir, "", "layout", "2021");
  dir.write("src/lib.rs",
            "pub enum Color { Red, Green }\n"
            "pub fn pick(c: Color, flag: bool) -> u32 {\n"
            "    let n = match c {\n        Color::Red => 1,\n        Color::Green => 2,\n    };\n"
            "    if flag { a(); } else { b(); }\n"
            "    n\n"
            "}\n"
            "fn a() {}\nfn b() {}\n");
  ASSERT_EQ(tersify_in(dir.path(), {}).status, 0);
  EXPECT_EQ(dir.read("src/lib.rs"),
            "pub enum Color { Red, Green }\n"
            "pub fn pick(c: Color, flag: bool) -> u32 {\n"
            "    let n = match c { Color::Red => 1, Color::Green => 2 };\n"
            "    if flag { a(); }\n"
            "    else { b(); }\n"
            "    n\n"
            "}\n"
            "fn a() {}\nfn b() {}\n");
  // Formatting and compacting the result again gives the same text.
  auto check = tersify_in(dir.path(), {"--check"});
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.out, "");
}

TEST(Run, RewrittenCrateStillBuilds) {
  // The macro's pattern requires the trailing comma inside its braces; the
  // joined block around the call must keep it for the crate to compile.
  TempDir dir;
  write_package(dir, "", "builds", "2021");
  dir.write("src/lib.rs",
            "macro_rules! names {\n    ($($x:ident,)*) => {\n        [$(stringify!($x)),*]\n    };\n}\n"
            "pub fn all() -> [&'static str; 2] {\n    names! {\n        alpha,\n        beta,\n    }\n}\n"
            "pub struct P {\n    pub x: i32,\n}\n"
            "pub fn make(v: i32) -> P {\n    if v > 0 {\n        return P { x: v };\n    } else {\n"
            "        println!(\"negative\");\n    }\n    P {\n        x: 0,\n    }\n}\n");
  ASSERT_EQ(tersify_in(dir.path(), {}).status, 0);
  std::string written = dir.read("src/lib.rs");
  EXPECT_NE(written.find("names! { alpha, beta, }"), std::string::npos) << written;
  EXPECT_NE(written.find("pub struct P { pub x: i32 }"), std::string::npos) << written;
  CommandOptions offline = cwd_options(dir.path());
  offline.env.push_back("CARGO_TARGET_DIR=" + (dir / "target"));
  auto built = run_command({"cargo", "check", "--offline", "--quiet"}, offline);
  EXPECT_EQ(built.status, 0) << built.err;
}

}  // namespace
}  // namespace tersify::test
