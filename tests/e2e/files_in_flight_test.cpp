// Whole runs where a large file is slow to finish, so that the files after it
// are done out of turn and wait. The effects must still come as if the files
// were handled one after the other, side by side as much as one at a time.

#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e/project.h"
#include "support/tools.h"

namespace tersify::test {
namespace {

// Formatted, every function nests blocks six deep and every method holds a
// match with an if inside: compaction takes all five rounds, each over more
// than half a megabyte, far longer than rustfmt takes on a small file.
std::string slow_to_compact() {
  std::string text;
  for (int i = 0; i < 1200; ++i) {
    std::string n = std::to_string(i);
    text += "fn f" + n + "() -> u8 { { { { { { " + std::to_string(i % 200) + " } } } } } }\nimpl S" + n +
            " { fn g(&self) -> u8 { match self.0 { 0 => { if true { 1 } else { 2 } } _ => 3 } } }\n";
  }
  return text;
}

CommandOptions with_jobs(CommandOptions options, const char* jobs) {
  options.env.push_back(std::string("CARGO_TERSIFY_JOBS=") + jobs);
  return options;
}

TEST(FilesInFlight, FailureComesAfterEverySlowerFileBeforeItIsWritten) {
  const std::string big = slow_to_compact();
  const std::string d_source = "fn d() {} // fail here\n";
  for (const char* jobs : {"1", "3"}) {
    SCOPED_TRACE(std::string("jobs ") + jobs);
    TempDir dir;
    write_package(dir, "", "inflight", "2021");
    dir.write("src/lib.rs", "");
    dir.write("src/a.rs", big);
    dir.write("src/b.rs", messy_source);
    dir.write("src/c.rs", messy_source);
    dir.write("src/d.rs", d_source);
    dir.write("src/e.rs", messy_source);
    write_failing_on_input(dir.path(), "rustfmt", "fail here", "echo 'error: fourth' >&2; exit 1");
    auto options = with_jobs(path_first(dir / "bin"), jobs);

    auto write = tersify_in(dir.path(), {"src"}, options);
    EXPECT_EQ(write.status, 2);
    EXPECT_EQ(write.out, "");
    EXPECT_EQ(write.err, "src/d.rs: error: fourth\n\n");
    std::string a = dir.read("src/a.rs");
    EXPECT_TRUE(a != big && a.find("fn f7() -> u8 {\n    { { { { { 7 } } } } }\n}\n") != std::string::npos);
    EXPECT_TRUE(formatted(dir.read("src/b.rs")));
    EXPECT_TRUE(formatted(dir.read("src/c.rs")));
    EXPECT_EQ(dir.read("src/d.rs"), d_source);
    EXPECT_EQ(dir.read("src/e.rs"), messy_source);

    // Check mode: the earlier files would be reported, but the failure ends
    // the run first.
    dir.write("src/a.rs", big);
    dir.write("src/b.rs", messy_source);
    auto check = tersify_in(dir.path(), {"--check", "src"}, options);
    EXPECT_EQ(check.status, 2);
    EXPECT_EQ(check.out, "");
    EXPECT_EQ(check.err, "src/d.rs: error: fourth\n\n");
    EXPECT_TRUE(dir.read("src/a.rs") == big);
    EXPECT_EQ(dir.read("src/b.rs"), messy_source);
  }
}

TEST(FilesInFlight, AFileMetAgainReadsWhatItsEarlierTurnWrote) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    bool link;  // src/z.rs links to src/a.rs
  };
  const Case cases[] = {
      // "./src/a.rs" sorts before "src/a.rs": every file comes twice, apart.
      {"directory given twice under two names", {".", "src"}, false},
      {"symbolic link later in the order", {"src"}, true},
  };
  const std::string big = slow_to_compact();
  for (const auto& c : cases) {
    for (const char* jobs : {"1", "3"}) {
      SCOPED_TRACE(std::string(c.name) + ", jobs " + jobs);
      TempDir dir;
      write_package(dir, "", "again", "2021");
      dir.write("src/lib.rs", "pub fn lib() {}\n");
      dir.write("src/a.rs", big);
      dir.write("src/b.rs", messy_source);
      dir.write("a.orig", big);
      if (c.link) dir.symlink("a.rs", "src/z.rs");
      // Notes the checksum of every text that rustfmt gets, one line each.
      dir.mkdir("bin");
      write_script(dir / "bin/rustfmt", "input=$(mktemp)\ncat > \"$input\"\ncksum < \"$input\" >> '" +
                                            (dir / "inputs.log") + "'\n'" + find_program("rustfmt") +
                                            "' \"$@\" < \"$input\"\nstatus=$?\nrm -f \"$input\"\nexit $status\n");

      auto write = tersify_in(dir.path(), c.args, with_jobs(path_first(dir / "bin"), jobs));
      EXPECT_EQ(write.status, 0) << write.err;
      auto original = run_command({"cksum", dir / "a.orig"});
      std::string sum = original.out.substr(0, original.out.find(' ', original.out.find(' ') + 1));
      std::string log = dir.read("inputs.log");
      EXPECT_EQ(log.find(sum), log.rfind(sum)) << "only the first turn may read the text as it was: " << log;
      std::string final_text = dir.read("src/a.rs");
      EXPECT_TRUE(final_text != big);
      EXPECT_TRUE(formatted(dir.read("src/b.rs")));

      std::vector<std::string> check_args{"--check"};
      check_args.insert(check_args.end(), c.args.begin(), c.args.end());
      auto check = tersify_in(dir.path(), check_args);
      EXPECT_EQ(check.status, 0) << check.out << check.err;
      EXPECT_EQ(check.out, "");
      EXPECT_TRUE(dir.read("src/a.rs") == final_text);
    }
  }
}

}  // namespace
}  // namespace tersify::test
