// What rustfmt leaves alone for a skip attribute, compaction leaves alone too:
// each form rustfmt 1.9 honours, in each position, beside a sibling that still
// compacts; attributes rustfmt does not honour change nothing.

#include <gtest/gtest.h>

#include "verify_compact.h"

namespace tersify::compact {
namespace {

struct Case {
  const char* input;
  const char* expected;
};

// `ATTR` stands for the attribute under test.
constexpr const char* item_with_sibling = "ATTR\nfn f() {\n    1\n}\nfn g() {\n    2\n}\n";
constexpr const char* item_left_alone = "ATTR\nfn f() {\n    1\n}\nfn g() { 2 }\n";
constexpr const char* item_compacted = "ATTR\nfn f() { 1 }\nfn g() { 2 }\n";

std::string with_attribute(std::string text, std::string_view attribute) {
  return text.replace(text.find("ATTR"), 4, attribute);
}

TEST(SkipAttributes, HonouredFormsLeaveTheirItemAlone) {
  for (const char* attribute : {
           "#[rustfmt::skip]",
           "#[rustfmt_skip]",
           "#[cfg_attr(rustfmt, rustfmt::skip)]",
           "#[cfg_attr(rustfmt, rustfmt_skip)]",
           "#[cfg_attr(all(unix, feature = \"a,b\"), cfg_attr(rustfmt, rustfmt::skip,))]",
           "#[rustfmt :: /* why */ skip]",
           "#[r#rustfmt::skip]",
       }) {
    verify_compact(with_attribute(item_left_alone, attribute), with_attribute(item_with_sibling, attribute), 100);
  }
}

TEST(SkipAttributes, OtherAttributesChangeNothing) {
  for (const char* attribute : {
           "#[allow(unused)]",
           "#[rustfmt::skip::macros(foo)]",
           "#[rustfmt::skip::attributes(foo)]",
           "#[rustfmt::skip()]",
           "#[::rustfmt::skip]",
           "#[cfg_attr(rustfmt, allow(unused), rustfmt::skip)]",
           "#[serde(skip)]",
           "#[skip]",
           "#[doc = \"rustfmt::skip\"]",
       }) {
    verify_compact(with_attribute(item_compacted, attribute), with_attribute(item_with_sibling, attribute), 100);
  }
}

TEST(SkipAttributes, PositionsLeftAlone) {
  const Case cases[] = {
      // The whole file.
      {"#![rustfmt::skip]\nfn f() {\n    1\n}\n", "#![rustfmt::skip]\nfn f() {\n    1\n}\n"},
      // A module body, after a comment; the function beside the module compacts.
      {"mod m {\n    // why\n    #![rustfmt::skip]\n    fn f() {\n        1\n    }\n}\nfn g() {\n    2\n}\n",
       "mod m {\n    // why\n    #![rustfmt::skip]\n    fn f() {\n        1\n    }\n}\nfn g() { 2 }\n"},
      // A function body with an else chain and a nested block.
      {"fn f() {\n    #![rustfmt::skip]\n    if a {\n        b();\n    } else {\n        { c(); }\n    }\n    "
       "d();\n}\n",
       "fn f() {\n    #![rustfmt::skip]\n    if a {\n        b();\n    } else {\n        { c(); }\n    }\n    "
       "d();\n}\n"},
      // A skipped item holding an else chain and a nested block.
      {"#[rustfmt::skip]\nfn f() {\n    if a {\n        {\n            b();\n        }\n    } else {\n        c();\n   "
       " }\n    d();\n}\n",
       "#[rustfmt::skip]\nfn f() {\n    if a {\n        {\n            b();\n        }\n    } else {\n        c();\n   "
       " }\n    d();\n}\n"},
      // A statement: its else stays, the next statement's else is split.
      {"fn f() {\n    #[rustfmt::skip] // why\n    if a {\n        b();\n    } else {\n        c();\n    }\n    if a "
       "{\n        b();\n    } else {\n        c();\n    }\n    d();\n}\n",
       "fn f() {\n    #[rustfmt::skip] // why\n    if a {\n        b();\n    } else {\n        c();\n    }\n    if a { "
       "b(); }\n    else { c(); }\n    d();\n}\n"},
      // A method in an impl, beside one that compacts.
      {"impl S {\n    #[rustfmt::skip]\n    fn f() {\n        1\n    }\n    fn g() {\n        2\n    }\n}\n",
       "impl S {\n    #[rustfmt::skip]\n    fn f() {\n        1\n    }\n    fn g() { 2 }\n}\n"},
      // A match arm, which keeps its match (joined without it) and its body apart.
      {"fn f() {\n    match x {\n        #[rustfmt::skip]\n        1 => 2,\n    }\n    match x {\n        1 => 2,\n    "
       "}\n}\n",
       "fn f() {\n    match x {\n        #[rustfmt::skip]\n        1 => 2,\n    }\n    match x { 1 => 2 }\n}\n"},
      // A field, a variant and a field initializer: their lists stay apart.
      {"struct S {\n    #[rustfmt::skip]\n    a: u8,\n}\nstruct T {\n    a: u8,\n}\n",
       "struct S {\n    #[rustfmt::skip]\n    a: u8,\n}\nstruct T { a: u8 }\n"},
      {"enum E {\n    #[rustfmt::skip]\n    A,\n}\nenum F {\n    A,\n}\n",
       "enum E {\n    #[rustfmt::skip]\n    A,\n}\nenum F { A }\n"},
      // A block whose only expression holds a skipped field on one line.
      {"fn f() -> S {\n    S {\n        #[rustfmt::skip] a: 1,\n    }\n}\nfn g() -> S {\n    S {\n        a: 1,\n    "
       "}\n}\n",
       "fn f() -> S {\n    S {\n        #[rustfmt::skip] a: 1,\n    }\n}\nfn g() -> S { S { a: 1 } }\n"},
  };
  for (const Case& c : cases) verify_compact(c.expected, c.input, 100);
}

}  // namespace
}  // namespace tersify::compact
