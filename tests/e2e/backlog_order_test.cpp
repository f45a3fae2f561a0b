// Whole runs where a large file's compaction spans several rustfmt runs, so
// that several formatted files wait for compaction at once. The effects must
// still come as if the files were handled one after the other. A wrapper
// around the real rustfmt notes, on each call, whether the large file has been
// written yet: that shows the wait really spanned those calls.

#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e/project.h"
#include "support/tools.h"

namespace tersify::test {
namespace {

// Formatted, every function nests blocks six deep and every method holds a
// match with an if inside: compaction takes all five rounds, each over more
// than a megabyte, far longer than rustfmt takes on a small file.
std::string slow_to_compact() {
  std::string text;
  for (int i = 0; i < 2500; ++i) {
    std::string n = std::to_string(i);
    text += "fn f" + n + "() -> u8 { { { { { { " + std::to_string(i % 200) + " } } } } } }\nimpl S" + n +
            " { fn g(&self) -> u8 { match self.0 { 0 => { if true { 1 } else { 2 } } _ => 3 } } }\n";
  }
  return text;
}

// A rustfmt wrapper that appends "<call> written|unwritten" (the state of
// `watched` against `original`) to `dir/rustfmt.log` on every call, and on
// call number `failing_call` runs `failure`.
void write_watching_rustfmt(const TempDir& dir, const std::string& watched, const std::string& original,
                            int failing_call, const std::string& failure) {
  write_failing_on_call(dir.path(), "rustfmt", failing_call, failure,
                        "if cmp -s '" + watched + "' '" + original + "'; then state=unwritten; else state=written; fi\n" +
                            "echo \"$n $state\" >> '" + (dir / "rustfmt.log") + "'");
}

TEST(BacklogOrder, FailureComesAfterEveryWaitingFileIsWritten) {
  struct Case {
    const char* name;
    std::string failure;  // the fourth rustfmt call, for src/d.rs
    std::string err;
  };
  const Case cases[] = {
      {"rustfmt fails", "cat >/dev/null; echo 'error: fourth' >&2; exit 1", "src/d.rs: error: fourth\n\n"},
      {"input refused", "exec 0<&-; exit 0", "src/d.rs: Broken pipe (os error 32)\n"},
  };
  const std::string big = slow_to_compact();
  // Large enough that the refused input can't vanish into the pipe.
  const std::string d_source = "fn d() {}\n" + std::string(2 << 20, '\n');
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_package(dir, "", "backlog", "2021");
    dir.write("src/lib.rs", "");
    dir.write("src/a.rs", big);
    dir.write("a.orig", big);
    dir.write("src/b.rs", messy_source);
    dir.write("src/c.rs", messy_source);
    dir.write("src/d.rs", d_source);
    dir.write("src/e.rs", messy_source);
    write_watching_rustfmt(dir, dir / "src/a.rs", dir / "a.orig", 4, c.failure);

    auto write = tersify_in(dir.path(), {"src"}, path_first(dir / "bin"));
    EXPECT_EQ(write.status, 2);
    EXPECT_EQ(write.out, "");
    EXPECT_EQ(write.err, c.err);
    EXPECT_EQ(dir.read("rustfmt.log"), "1 unwritten\n2 unwritten\n3 unwritten\n4 unwritten\n")
        << "a.rs waits while b.rs, c.rs and d.rs are formatted; nothing runs after the failure";
    std::string a = dir.read("src/a.rs");
    EXPECT_TRUE(a != big && a.find("fn f7() -> u8 {\n    { { { { { 7 } } } } }\n}\n") != std::string::npos);
    EXPECT_TRUE(formatted(dir.read("src/b.rs")));
    EXPECT_TRUE(formatted(dir.read("src/c.rs")));
    EXPECT_TRUE(dir.read("src/d.rs") == d_source);
    EXPECT_EQ(dir.read("src/e.rs"), messy_source);

    // Check mode: the earlier files would be reported, but the failure ends
    // the run first.
    dir.write("src/a.rs", big);
    dir.write("src/b.rs", messy_source);
    ::unlink((dir / "rustfmt.count").c_str());
    auto check = tersify_in(dir.path(), {"--check", "src"}, path_first(dir / "bin"));
    EXPECT_EQ(check.status, 2);
    EXPECT_EQ(check.out, "");
    EXPECT_EQ(check.err, c.err);
    EXPECT_TRUE(dir.read("src/a.rs") == big);
    EXPECT_EQ(dir.read("src/b.rs"), messy_source);
  }
}

TEST(BacklogOrder, AFileMetAgainReadsWhatItsWaitingCopyWrote) {
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
    SCOPED_TRACE(c.name);
    TempDir dir;
    write_package(dir, "", "again", "2021");
    dir.write("src/lib.rs", "pub fn lib() {}\n");
    dir.write("src/a.rs", big);
    dir.write("a.orig", big);
    dir.write("src/b.rs", messy_source);
    if (c.link) dir.symlink("a.rs", "src/z.rs");
    write_watching_rustfmt(dir, dir / "src/a.rs", dir / "a.orig", 0, ":");

    auto write = tersify_in(dir.path(), c.args, path_first(dir / "bin"));
    EXPECT_EQ(write.status, 0) << write.err;
    std::string log = dir.read("rustfmt.log");
    EXPECT_TRUE(log.starts_with("1 unwritten\n2 unwritten\n3 unwritten\n4 written\n"))
        << "a.rs waits while b.rs and lib.rs are formatted, then its second round sees its first round's text: "
        << log;
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

}  // namespace
}  // namespace tersify::test
