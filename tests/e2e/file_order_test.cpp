// Whole runs that look at the order of effects across files where the real
// child processes matter: rustfmt refusing its input, cargo failing for a
// later package, a write failing part-way, and no two children of the plain
// pipeline at once. Wrappers around the real cargo and rustfmt watch or, for
// one chosen call, inject a failure. (The scheduler's own promises are
// tested in process, in tests/driver/scheduler_test.cpp.)

#include <gtest/gtest.h>

#include "e2e/project.h"
#include "support/tools.h"

namespace tersify::test {
namespace {

TEST(FileOrder, InputRefusedIsABrokenPipeUnlessRustfmtFails) {
  // Large enough that the refused input can't vanish into the pipe. One file
  // at a time, so that the calls can be counted: a.rs takes two (its new
  // text is confirmed), so b.rs comes with the third.
  const std::string b_source = "fn b() {}\n" + std::string(2 << 20, '\n');
  struct Case {
    const char* refusal;
    std::string err;
  };
  const Case cases[] = {
      {"exec 0<&-; exit 0", "src/b.rs: Broken pipe (os error 32)\n"},
      {"exec 0<&-; sleep 0.2; echo 'error: unknown edition' >&2; exit 1", "src/b.rs: error: unknown edition\n\n"},
  };
  for (const auto& c : cases) {
    for (bool check : {false, true}) {
      SCOPED_TRACE(std::string(c.refusal) + (check ? ", check" : ", write"));
      TempDir dir;
      write_package(dir, "", "order", "2021");
      dir.write("src/lib.rs", "");  // listed last
      dir.write("src/a.rs", messy_source);
      dir.write("src/b.rs", b_source);
      dir.write("src/c.rs", messy_source);
      write_failing_on_call(dir.path(), "rustfmt", 3, c.refusal);
      auto result =
          tersify_in(dir.path(), check ? std::vector<std::string>{"--check", "src"} : std::vector<std::string>{"src"},
                     one_at_a_time(path_first(dir / "bin")));
      EXPECT_EQ(result.status, 2);
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(result.err, c.err);
      EXPECT_EQ(formatted(dir.read("src/a.rs")), !check);
      EXPECT_TRUE(dir.read("src/b.rs") == b_source);
      EXPECT_EQ(dir.read("src/c.rs"), messy_source);
    }
  }
}

TEST(FileOrder, EditionFailureOfTheNextPackageComesAfterTheFileBeforeIt) {
  TempDir dir;
  write_package(dir, "one", "one", "2021");
  write_package(dir, "two", "two", "2021");
  dir.write("one/src/lib.rs", messy_source);
  dir.write("two/src/lib.rs", messy_source);
  write_failing_on_call(dir.path(), "cargo", 2, "echo 'error: broken manifest' >&2; exit 101");

  auto result = tersify_in(dir.path(), {"one", "two"}, path_first(dir / "bin"));
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "two/src/lib.rs: error: broken manifest\n\n");
  EXPECT_TRUE(formatted(dir.read("one/src/lib.rs")));
  EXPECT_EQ(dir.read("two/src/lib.rs"), messy_source);
}

TEST(FileOrder, WriteFailureStopsTheRunWhileTheNextFileIsFormatted) {
  // a.rs grows past the file size limit when formatted, so its write fails
  // part-way and the original text must be put back; b.rs, formatted
  // meanwhile, would fit but must not be written.
  std::string source = "fn f() {";
  for (int i = 0; i < 200; ++i) source += "g(" + std::to_string(i) + ");";
  source += "}\nfn g(_: u32) {}\n";
  ASSERT_LT(source.size(), 1800u);
  TempDir dir;
  dir.write("loose/a.rs", source);
  dir.write("loose/b.rs", messy_source);
  dir.write("loose/rustfmt.toml", "disable_all_formatting = true\n");
  auto result = run_command({"prlimit", "--fsize=1800", TERSIFY_BINARY, "loose"}, cwd_options(dir.path()));
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "loose/a.rs: File too large (os error 27)\n");
  // The part-way write of a.rs was undone.
  EXPECT_EQ(dir.read("loose/a.rs"), source);
  EXPECT_EQ(dir.read("loose/b.rs"), messy_source);
  // Without the limit the same run succeeds, and a.rs grows past it.
  ASSERT_EQ(tersify_in(dir.path(), {"loose"}).status, 0);
  EXPECT_GT(dir.read("loose/a.rs").size(), 1800u);
}

// One file at a time, no two children run at once.
TEST(FileOrder, NeverTwoChildrenAtOnce) {
  TempDir dir;
  write_package(dir, "one", "one", "2021");
  write_package(dir, "two", "two", "2018");
  for (const char* file : {"one/src/lib.rs", "one/src/a.rs", "one/src/b.rs", "two/src/lib.rs", "two/src/c.rs"}) {
    dir.write(file, messy_source);
  }
  dir.mkdir("bin");
  // Each wrapper marks the time its real program runs and notes any overlap.
  std::string busy = dir / "busy";
  std::string log = dir / "overlaps.log";
  std::string calls = dir / "calls.log";
  for (const char* name : {"cargo", "rustfmt"}) {
    write_script(dir / "bin/" + std::string(name), "echo " + std::string(name) + " >> '" + calls + "'\n[ -e '" + busy +
                                                       "' ] && echo \"" + name + " while another child ran\" >> '" +
                                                       log + "'\ntouch '" + busy + "'\n'" + find_program(name) +
                                                       "' \"$@\"\nstatus=$?\nrm -f '" + busy + "'\nexit $status\n");
  }
  auto result = tersify_in(dir.path(), {"one", "two"}, one_at_a_time(path_first(dir / "bin")));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_FALSE(dir.exists("overlaps.log")) << dir.read("overlaps.log");
  EXPECT_EQ(count_lines(calls), 12) << "two cargo runs, two rustfmt runs for each of five files";
  EXPECT_TRUE(formatted(dir.read("two/src/c.rs")));
}

}  // namespace
}  // namespace tersify::test
