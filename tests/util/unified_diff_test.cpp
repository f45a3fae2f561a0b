#include "util/unified_diff.h"

#include <gtest/gtest.h>

#include <random>

#include "support/command.h"
#include "support/temp_dir.h"

namespace tersify {
namespace {

using test::TempDir;

// What GNU patch makes of `old_text` with `diff` (the header names are
// ignored: the file is named on the command line).
std::string patched(const std::string& old_text, const std::string& diff) {
  TempDir dir;
  dir.write("old", old_text);
  test::CommandOptions options;
  options.input = diff;
  auto result = test::run_command({"patch", "-s", "-o", dir / "new", dir / "old"}, options);
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  return dir.exists("new") ? dir.read("new") : "";
}

std::string numbered_lines(int from, int to) {
  std::string text;
  for (int i = from; i <= to; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

TEST(UnifiedDiff, HunksAsDiffWritesThemAndPatchApplies) {
  struct Case {
    const char* name;
    std::string old_text;
    std::string new_text;
    std::string hunks;
  };
  const std::string ten = numbered_lines(1, 10);
  const Case cases[] = {
      {"equal texts", ten, ten, ""},
      {"one line in the middle", ten, numbered_lines(1, 4) + "five\n" + numbered_lines(6, 10),
       "@@ -2,7 +2,7 @@\n line 2\n line 3\n line 4\n-line 5\n+five\n line 6\n line 7\n line 8\n"},
      {"changes six lines apart share a hunk", ten, "one\n" + numbered_lines(2, 7) + "eight\n" + numbered_lines(9, 10),
       "@@ -1,10 +1,10 @@\n-line 1\n+one\n line 2\n line 3\n line 4\n line 5\n line 6\n line 7\n-line 8\n+eight\n"
       " line 9\n line 10\n"},
      {"changes seven lines apart do not", numbered_lines(1, 12),
       "one\n" + numbered_lines(2, 8) + "nine\n" + numbered_lines(10, 12),
       "@@ -1,4 +1,4 @@\n-line 1\n+one\n line 2\n line 3\n line 4\n"
       "@@ -6,7 +6,7 @@\n line 6\n line 7\n line 8\n-line 9\n+nine\n line 10\n line 11\n line 12\n"},
      {"into an empty text", "", "a\nb\n", "@@ -0,0 +1,2 @@\n+a\n+b\n"},
      {"single lines leave out the count", "a\n", "b\n", "@@ -1 +1 @@\n-a\n+b\n"},
      {"a final newline added", "a\nb", "a\nb\n",
       "@@ -1,2 +1,2 @@\n a\n-b\n\\ No newline at end of file\n+b\n"},
      {"a final newline taken away", "a\nb\n", "a\nc",
       "@@ -1,2 +1,2 @@\n a\n-b\n+c\n\\ No newline at end of file\n"},
      {"CRLF lines differ from LF lines", "a\r\nb\r\n", "a\nb\r\n", "@@ -1,2 +1,2 @@\n-a\r\n+a\n b\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(unified_hunks(c.old_text, c.new_text), c.hunks);
    if (!c.hunks.empty()) {
      EXPECT_EQ(patched(c.old_text, "--- a/f\n+++ b/f\n" + c.hunks), c.new_text);
    }
  }
}

TEST(UnifiedDiff, PatchRebuildsScatteredEdits) {
  // Lines dropped, replaced and added all over a text, some of them CRLF.
  std::mt19937 random(7);
  std::string old_text, new_text;
  for (int i = 0; i < 400; ++i) {
    std::string line = "line " + std::to_string(i % 37) + (i % 11 == 0 ? "\r\n" : "\n");
    old_text += line;
    switch (random() % 8) {
      case 0: break;
      case 1: new_text += "new " + line; break;
      case 2: new_text += line + "added\n"; break;
      default: new_text += line;
    }
  }
  new_text += "last";
  EXPECT_EQ(patched(old_text, unified_diff("a/f", "b/f", old_text, new_text)), new_text);
}

TEST(UnifiedDiff, HeaderNamesQuotedOnlyWhenPatchNeedsIt) {
  const std::pair<std::string, std::string> cases[] = {
      {"a/src/lib.rs", "a/src/lib.rs"},
      {"a/src/caf\xc3\xa9.rs", "a/src/caf\xc3\xa9.rs"},
      {"a/my file.rs", "\"a/my file.rs\""},
      {"a/tab\there.rs", "\"a/tab\\there.rs\""},
      {"a/q\"b\\.rs", "\"a/q\\\"b\\\\.rs\""},
      {"a/bad\xff\xc3\xa9.rs", "\"a/bad\\377\\303\\251.rs\""},
  };
  for (const auto& [name, header] : cases) EXPECT_EQ(diff_header_name(name), header);
  EXPECT_EQ(unified_diff("a/x", "b/x", "same\n", "same\n"), "");
  EXPECT_EQ(unified_diff("a/my file.rs", "b/my file.rs", "a\n", "b\n"),
            "--- \"a/my file.rs\"\n+++ \"b/my file.rs\"\n@@ -1 +1 @@\n-a\n+b\n");
}

}  // namespace
}  // namespace tersify
