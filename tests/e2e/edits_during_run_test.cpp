// A user who saves or removes a file while a run works on an earlier one
// keeps the edit: a file read ahead of its turn is handled again from what it
// holds at its turn, so the run ends exactly as the one-after-another
// pipeline would.

#include <gtest/gtest.h>

#include "e2e/project.h"
#include "support/tools.h"
#include "support/tree.h"

namespace tersify::test {
namespace {

constexpr const char* edited_line = "fn  edited( ){let y=2;}";
// A file whose effect was nothing when it was read, until the edit.
constexpr const char* tidy_text = "fn tidy() {}\n";
constexpr const char* untidied_line = "fn  tidy( ){}";

// A rustfmt that, on its first text holding "slow here", waits for the files
// after it to be read ahead, then edits src/b.rs and src/b_tidy.rs and
// removes src/c.rs, and formats with the real rustfmt.
void write_editing_rustfmt(const TempDir& dir) {
  dir.mkdir("bin");
  write_script(dir / "bin/rustfmt", "input=$(mktemp)\ncat > \"$input\"\n"
                                    "if grep -qF 'slow here' \"$input\" && mkdir '" + dir / "edited" + "' 2>/dev/null; then\n"
                                    "  sleep 0.5\n"
                                    "  printf '%s\\n' '" + std::string(edited_line) +
                                    "' > '" + dir / "src/b.rs" + "'\n"
                                    "  printf '%s\\n' '" + std::string(untidied_line) +
                                    "' > '" + dir / "src/b_tidy.rs" + "'\n"
                                    "  rm '" + dir / "src/c.rs" + "'\n"
                                    "fi\n'" + find_program("rustfmt") +
                                    "' \"$@\" < \"$input\"\nstatus=$?\nrm -f \"$input\"\nexit $status\n");
}

TEST(EditsDuringRun, EditKeptAndOutcomeAsOneAfterAnother) {
  for (bool check : {false, true}) {
    std::optional<std::pair<CommandResult, std::map<std::string, std::string>>> one_job;
    for (const char* jobs : {"1", "4"}) {
      SCOPED_TRACE(std::string(check ? "check" : "write") + ", jobs " + jobs);
      TempDir dir;
      write_package(dir, "", "edits", "2021");
      dir.write("src/lib.rs", "");
      dir.write("src/a.rs", "fn  a( ){} // slow here\n");
      dir.write("src/b.rs", messy_source);
      dir.write("src/b_tidy.rs", tidy_text);
      dir.write("src/c.rs", messy_source);
      dir.write("src/d.rs", messy_source);
      write_editing_rustfmt(dir);
      auto options = path_first(dir / "bin");
      options.env.push_back(std::string("CARGO_TERSIFY_JOBS=") + jobs);
      auto args = check ? std::vector<std::string>{"--check", "src"} : std::vector<std::string>{"src"};

      auto result = tersify_in(dir.path(), args, options);
      EXPECT_EQ(result.status, 2);
      EXPECT_EQ(result.err, "src/c.rs: No such file or directory (os error 2)\n");
      std::string b = dir.read("src/b.rs");
      EXPECT_TRUE(check ? b == std::string(edited_line) + "\n" : b.find("fn edited() {") != std::string::npos) << b;
      EXPECT_EQ(dir.read("src/b_tidy.rs"), check ? std::string(untidied_line) + "\n" : std::string(tidy_text));
      EXPECT_EQ(dir.read("src/d.rs"), messy_source) << "nothing after the failure is written";

      auto tree = snapshot(dir / "src");
      if (!one_job) {
        one_job.emplace(result, tree);
      } else {
        EXPECT_EQ(result.out, one_job->first.out);
        EXPECT_EQ(tree, one_job->second);
      }
    }
  }
}

}  // namespace
}  // namespace tersify::test
