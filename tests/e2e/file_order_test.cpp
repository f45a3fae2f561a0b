// Whole runs that look at the order of effects across files: rustfmt formats
// one file while the one before it is compacted and written, yet every run
// must look as if the files were handled strictly one after the other. The
// real cargo and rustfmt do the work; wrappers around them watch or, for one
// chosen call, inject a failure.

#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e/project.h"
#include "support/tools.h"

namespace tersify::test {
namespace {

TEST(FileOrder, FailureOfAFileComesAfterTheFileBeforeItIsWritten) {
  struct Case {
    const char* name;
    std::string failure;  // for src/b.rs, whose text holds the marker
    std::string err;
  };
  const Case cases[] = {
      {"rustfmt fails", "echo 'error: second' >&2; exit 1", "src/b.rs: error: second\n\n"},
      {"rustfmt killed", "printf 'dying' >&2; kill -KILL $$", "src/b.rs: dying\n"},
  };
  const std::string b_source = "fn b() {} // fail here\n";
  for (const auto& c : cases) {
    for (const char* jobs : {"1", "4"}) {
      SCOPED_TRACE(std::string(c.name) + ", jobs " + jobs);
      TempDir dir;
      write_package(dir, "", "order", "2021");
      dir.write("src/lib.rs", "");
      dir.write("src/a.rs", messy_source);
      dir.write("src/b.rs", b_source);
      dir.write("src/c.rs", messy_source);
      write_failing_on_input(dir.path(), "rustfmt", "fail here", c.failure);
      auto options = path_first(dir / "bin");
      options.env.push_back(std::string("CARGO_TERSIFY_JOBS=") + jobs);

      auto write = tersify_in(dir.path(), {"src"}, options);
      EXPECT_EQ(write.status, 2);
      EXPECT_EQ(write.out, "");
      EXPECT_EQ(write.err, c.err);
      EXPECT_TRUE(formatted(dir.read("src/a.rs"))) << "a.rs comes first and is written";
      EXPECT_EQ(dir.read("src/b.rs"), b_source);
      EXPECT_EQ(dir.read("src/c.rs"), messy_source) << "nothing after the failure is written";

      // Check mode: a.rs would be reported, but the failure ends the run first.
      dir.write("src/a.rs", messy_source);
      auto check_args = std::vector<std::string>{"--check", "src"};
      auto check = tersify_in(dir.path(), check_args, options);
      EXPECT_EQ(check.status, 2);
      EXPECT_EQ(check.out, "");
      EXPECT_EQ(check.err, c.err);
      EXPECT_EQ(dir.read("src/a.rs"), messy_source);
    }
  }
}

TEST(FileOrder, InputRefusedIsABrokenPipeUnlessRustfmtFails) {
  // Large enough that the refused input can't vanish into the pipe. One file
  // at a time, so that the calls can be counted: a.rs takes two in write mode
  // (its new text is confirmed), one in check mode.
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
      write_failing_on_call(dir.path(), "rustfmt", check ? 2 : 3, c.refusal);
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

TEST(FileOrder, TheSameFileTwiceInARowReadsWhatTheFirstRoundWrote) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string link;  // "symbolic", "hard" or "" for none
    int lib_rounds;    // how often lib.rs is listed
  };
  const Case cases[] = {
      {"path given twice", {".", "."}, "", 2},
      {"symbolic link beside its target", {"."}, "symbolic", 1},
      {"hard link beside the file", {"."}, "hard", 1},
  };
  for (const auto& c : cases) {
    for (const char* jobs : {"1", "4"}) {
      SCOPED_TRACE(std::string(c.name) + ", jobs " + jobs);
      TempDir dir;
      write_package(dir, "", "twice", "2021");
      const std::string lib = "pub fn lib() {}\n";  // already in final form
      dir.write("src/lib.rs", lib);
      dir.write("src/a.rs", messy_source);
      if (c.link == "symbolic") dir.symlink("a.rs", "src/b.rs");
      if (c.link == "hard") {
        ASSERT_EQ(::link((dir / "src/a.rs").c_str(), (dir / "src/b.rs").c_str()), 0);
      }
      // Records every text that rustfmt gets (each in one append).
      dir.mkdir("bin");
      std::string inputs = dir / "inputs.log";
      write_script(dir / "bin/rustfmt", "tee -a '" + inputs + "' | '" + find_program("rustfmt") + "' \"$@\"\n");

      auto options = path_first(dir / "bin");
      options.env.push_back(std::string("CARGO_TERSIFY_JOBS=") + jobs);
      auto write = tersify_in(dir.path(), c.args, options);
      EXPECT_EQ(write.status, 0) << write.err;
      std::string final_text = dir.read("src/a.rs");
      EXPECT_TRUE(formatted(final_text));
      // a.rs as it was, its new text once more to confirm it is settled, then
      // the same file as the first round left it.
      std::string expected = messy_source + final_text + final_text;
      for (int i = 0; i < c.lib_rounds; ++i) expected += lib;
      std::string log = dir.read("inputs.log");
      if (std::string(jobs) == "1") {
        EXPECT_EQ(log, expected);
      } else {
        // Side by side, lib.rs may come in between; the text as it was is
        // still read only once.
        EXPECT_EQ(log.size(), expected.size()) << log;
        EXPECT_EQ(log.find(messy_source), log.rfind(messy_source)) << log;
      }

      auto check_args = c.args;
      check_args.insert(check_args.begin(), "--check");
      auto check = tersify_in(dir.path(), check_args);
      EXPECT_EQ(check.status, 0) << check.out << check.err;
      EXPECT_EQ(check.out, "");
    }
  }
}

}  // namespace
}  // namespace tersify::test
