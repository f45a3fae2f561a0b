// Joining lines and measuring the line a join gives, on their own and through
// whole rounds.

#include "compact/line_join.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "compact/compact.h"
#include "compact/offset_map.h"
#include "verify_compact.h"

namespace tersify::compact {
namespace {

TEST(JoinLines, FormatterLayoutsBecomeOneLine) {
  EXPECT_EQ("{ x }", join_lines("{\n    x\n}"));
  EXPECT_EQ("{ A => 1, B => 2 }", join_lines("{\n    A => 1,\n    B => 2,\n}"));
  EXPECT_EQ("{ foo.bar().baz()? }", join_lines("{\n    foo\n        .bar()\n        .baz()?\n}"));
  EXPECT_EQ("{ f( a, b,) }", join_lines("{\n    f(\n        a,\n        b,\n    )\n}"));
  EXPECT_EQ("{ A,  B }", join_lines("{\n    A,\n\n    B,\n}"));
  EXPECT_EQ("{ [a; 2]; x }", join_lines("{\n    [a\n    ; 2]\n    ; x\n}"));
}

TEST(JoinLines, LineEndsAndWhitespace) {
  EXPECT_EQ("{ x }", join_lines("{\r\n    x\r\n}"));
  // Only a carriage return right before a line feed goes; trailing blanks stay.
  EXPECT_EQ("{  x\ry   }", join_lines("{ \n\t x\ry \r\n  \r\n}"));
  // Any White_Space is trimmed from the start of a later line, not only ASCII.
  EXPECT_EQ("{ x }", join_lines("{\n\u00a0\u3000x\n}"));
  EXPECT_EQ("{ }", join_lines("{\n}"));
  EXPECT_EQ("{ x", join_lines("{\n    x\n"));
}

TEST(JoinLines, LiteralsKeepTheirCommas) {
  std::string text = "S {\n    a: \", }\",\n    b: r#\", }\"#,\n    c: b\", }\",\n}";
  std::vector<ByteRange> literals;
  for (std::string_view literal : {"\", }\"", "r#\", }\"#", "b\", }\""}) {
    std::size_t at = text.find(literal, literals.empty() ? 0 : literals.back().end);
    literals.push_back({at, at + literal.size()});
  }
  std::optional<std::string> joined =
      join_lines(text, {0, text.size()}, literals, std::numeric_limits<std::size_t>::max());
  EXPECT_EQ("S { a: \", }\", b: r#\", }\"#, c: b\", }\" }", joined);
  // Without the literal ranges the rule reaches into them.
  EXPECT_EQ("S { a: \" }\", b: r#\" }\"#, c: b\" }\" }", join_lines(text));
}

// With hard tabs rustfmt counts a tab as tab_spaces columns: a join that
// fits in bytes may not fit in columns.
TEST(LineWidth, TabsCountAsTheirColumns) {
  std::string text = "fn f() {\n\tif a {\n\t\tx\n\t}\n}\n";
  ByteRange body{15, 23};
  ASSERT_EQ("{\n\t\tx\n\t}", text.substr(body.start, body.end - body.start));
  EXPECT_EQ(6u, surrounding_width(text, LineFeeds(text), body, 100));     // "\tif a "
  EXPECT_EQ(9u, surrounding_width(text, LineFeeds(text), body, 100, 4));  // 4 + "if a "
  EXPECT_EQ(std::nullopt, surrounding_width(text, LineFeeds(text), body, 8, 4));
  EXPECT_EQ(8u, columns("\ta\tb", 3));
}

TEST(JoinLines, StopsOnceTooLong) {
  std::string text = "{\n    A,\n    B,\n}";
  EXPECT_EQ("{ A, B }", join_lines(text, {0, text.size()}, {}, 8));
  EXPECT_EQ(std::nullopt, join_lines(text, {0, text.size()}, {}, 7));
}

TEST(LineWidth, ColumnAndRestAroundTheConstruct) {
  std::string text = "use a;\nfn f() -> i32 {\n    1\n}\n";
  ByteRange body{21, 30};
  ASSERT_EQ("{\n    1\n}", text.substr(body.start, body.end - body.start));
  EXPECT_EQ(19u, line_width(text, body, 5));
  EXPECT_EQ(14u, surrounding_width(text, LineFeeds(text), body, 14));
  EXPECT_EQ(std::nullopt, surrounding_width(text, LineFeeds(text), body, 13));

  std::string branches = "x;\nif a {\n    x\n} else {\n    y\n}";
  EXPECT_EQ(17u, line_width(branches, {8, 17}, 5));   // 5 + 5 + " else {"
  EXPECT_EQ(12u, line_width(branches, {23, 32}, 5));  // "} else " + 5
  // No line feed before: C counts from the start of the text; none after: R
  // runs to its end. Otherwise a joined first or last line could pass the width.
  EXPECT_EQ(26u, line_width("fn f() -> i32 {\n    1\n} // end", {14, 23}, 5));
  EXPECT_EQ(14u, line_width("x\n  {\n} // end", {4, 7}, 5));
}

TEST(LineWidth, JoinsExactlyAtTheMaximumWidth) {
  std::string text = "use a;\nfn f() -> i32 {\n    1\n}\n";
  verify_compact("use a;\nfn f() -> i32 { 1 }\n", text, 19);
  verify_compact(text, text, 18);
  // On the text's first line the bytes before the construct count as well.
  verify_compact("fn f() -> i32 { 1 }\n", "fn f() -> i32 {\n    1\n}\n", 19);
  verify_compact("fn f() -> i32 {\n    1\n}\n", "fn f() -> i32 {\n    1\n}\n", 18);
  // And on a last line without a line feed, the bytes after it.
  verify_compact("use a;\nfn f() -> i32 { 1 } // one", "use a;\nfn f() -> i32 {\n    1\n} // one", 26);
  verify_compact("use a;\nfn f() -> i32 {\n    1\n} // one", "use a;\nfn f() -> i32 {\n    1\n} // one", 25);
}

TEST(LineWidth, CountsBytesNotCharacters) {
  std::string text = "use a;\nfn f() -> &'static str {\n    \"éé\"\n}\n";
  verify_compact("use a;\nfn f() -> &'static str { \"éé\" }\n", text, 33);
  verify_compact(text, text, 32);
}

// Joins are decided in order of their start, each measured with the joins
// before it made, so two joins on one line never pass the width together.
TEST(LineWidth, JoinsOnOneLineStayWithinTheWidthTogether) {
  std::string branches = "x;\nif a {\n    x\n} else {\n    y\n}\n";
  std::string chain =
      "fn pick(n: u32) -> &'static str {\n"
      "    let m = n % 7;\n"
      "    if m == 0 {\n        \"zero\"\n    } else if m == 1 {\n        \"one\"\n    } else {\n        \"many\"\n"
      "    }\n}\n";
  struct Case {
    std::string input;
    std::size_t width;
    std::string expected;
  } cases[] = {
      // 17 for the first branch, then 16 + 5 = 21 for the second.
      {branches, 21, "x;\nif a { x } else { y }\n"},
      {branches, 20, "x;\nif a { x } else {\n    y\n}\n"},
      // At 16 only the else branch fits; with it joined the first branch
      // would need 21 in the next round.
      {branches, 16, "x;\nif a {\n    x\n} else { y }\n"},
      // A chain that gives the block its value keeps its else where it is.
      {chain, 60,
       "fn pick(n: u32) -> &'static str {\n    let m = n % 7;\n    if m == 0 { \"zero\" } else if m == 1 { \"one\" } else {\n"
       "        \"many\"\n    }\n}\n"},
      {chain, 100,
       "fn pick(n: u32) -> &'static str {\n    let m = n % 7;\n"
       "    if m == 0 { \"zero\" } else if m == 1 { \"one\" } else { \"many\" }\n}\n"},
  };
  for (const auto& c : cases) verify_compact(c.expected, c.input, c.width);
}

TEST(LineWidth, CrLfLineEnds) {
  verify_compact("fn f() -> i32 { 1 }\r\nfn g() {}\r\n", "fn f() -> i32 {\r\n    1\r\n}\r\nfn g() {}\r\n", 100);
}

}  // namespace
}  // namespace tersify::compact

TEST(TrailingComma, MacroTokenTreesKeepTheirCommas) {
  // A macro's pattern may require the trailing comma, so its input stays as
  // written; the block around it is still joined.
  verify_compact("fn f() { names! { alpha, } }\n", "fn f() {\n    names! {\n        alpha,\n    }\n}\n", 100);
  verify_compact("fn f() { m!(S { a: 1, }) }\n", "fn f() {\n    m!(S {\n        a: 1,\n    })\n}\n", 100);
  // Outside macros the comma before the brace goes.
  verify_compact("fn f() -> S { S { a: 1 } }\n", "fn f() -> S {\n    S {\n        a: 1,\n    }\n}\n", 100);
}

namespace tersify::compact {
namespace {

// The trace's cuts place every byte that stays at its place in J, and tell
// where the joined lines could read as other tokens.
TEST(JoinLines, TraceLocatesTheBytesThatStay) {
  struct Case {
    std::string text;
    bool may_read_otherwise;
  };
  for (const Case& c : std::vector<Case>{{"{\n    S {\n        a,\n    }\n}", false},
                                         {"{\r\n    x\r\n        .y()?\r\n\r\n}", false},
                                         {"{\n    1\n        .max(2)\n}", true},
                                         {"{\n    a..\n        .b\n}", true},
                                         {"{\n\u3000x\n}", true}}) {
    JoinTrace trace;
    std::string joined = *join_lines(c.text, {0, c.text.size()}, {}, std::numeric_limits<std::size_t>::max(), &trace);
    EXPECT_EQ(c.may_read_otherwise, trace.may_read_otherwise) << c.text;
    std::sort(trace.cuts.begin(), trace.cuts.end(), [](const auto& a, const auto& b) { return a.start < b.start; });
    OffsetMap offsets(trace.cuts);
    for (std::size_t at = 0; at < c.text.size(); ++at) {
      if (!offsets.cut(at)) {
        EXPECT_EQ(c.text[at], joined.at(offsets(at))) << c.text << " at " << at;
      }
    }
    EXPECT_EQ(joined.size(), offsets(c.text.size())) << c.text;
  }
}

}  // namespace
}  // namespace tersify::compact
