#include "util/gitignore.h"

#include <gtest/gtest.h>

namespace tersify {
namespace {

TEST(Gitignore, PatternsLeaveOutWhatGitWouldAndTheLastMatchDecides) {
  struct Case {
    std::vector<std::string> lines;
    const char* path;
    bool ignored;
  };
  const Case cases[] = {
      // A name matches at any depth; with a "/" it is anchored at the root.
      {{"bad.rs"}, "bad.rs", true},
      {{"bad.rs"}, "src/deep/bad.rs", true},
      {{"src/bad.rs"}, "src/bad.rs", true},
      {{"src/bad.rs"}, "lib/src/bad.rs", false},
      {{"/bad.rs"}, "src/bad.rs", false},
      // A folder leaves out what is below it; a trailing "/" wants a folder.
      {{"generated"}, "src/generated/a.rs", true},
      {{"generated/"}, "src/generated/a.rs", true},
      {{"generated/"}, "src/generated", false},
      {{"src/gen"}, "src/generated/a.rs", false},
      // Wildcards stop at "/"; "**" crosses folders.
      {{"*.rs"}, "src/a/b.rs", true},
      {{"src/*.rs"}, "src/a/b.rs", false},
      {{"src/?.rs"}, "src/ab.rs", false},
      {{"src/**/b.rs"}, "src/b.rs", true},
      {{"src/**/b.rs"}, "src/x/y/b.rs", true},
      {{"src/**"}, "src/x/y.rs", true},
      {{"src/**"}, "src", false},
      {{"**"}, "anything/at/all.rs", true},
      {{"src/a**.rs"}, "src/abc.rs", true},
      {{"src/a**.rs"}, "src/a/c.rs", false},
      // Classes, ranges, negated classes; "\" takes a byte as it is.
      {{"v[0-9].rs"}, "v7.rs", true},
      {{"v[!0-9].rs"}, "v7.rs", false},
      {{"v[^0-9].rs"}, "vx.rs", true},
      {{"[]-]x.rs"}, "-x.rs", true},
      {{"a\\*.rs"}, "a*.rs", true},
      {{"v[0-9.rs"}, "v[0-9.rs", false},  // unclosed: matches nothing
      // "!" takes back what an earlier line left out: the last match wins,
      // and a file's own verdict comes before its folder's.
      {{"src/*.rs", "!src/keep.rs"}, "src/keep.rs", false},
      {{"!src/keep.rs", "src/*.rs"}, "src/keep.rs", true},
      {{"src/", "!keep.rs"}, "src/keep.rs", false},
      {{"\\!bang.rs"}, "!bang.rs", true},
      // Comments, blanks and trailing blanks.
      {{"# a.rs", "", "   "}, "# a.rs", false},
      {{"a.rs\\ "}, "a.rs ", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines[0] + " on " + c.path);
    EXPECT_EQ(GitignorePatterns(c.lines).ignores(c.path), c.ignored);
  }
  EXPECT_EQ(GitignorePatterns({"src/"}).verdict("src", true), GitignorePatterns::Verdict::ignored);
}

}  // namespace
}  // namespace tersify
