// What rustfmt leaves alone for a skip attribute, compaction leaves alone too:
// each form rustfmt honours, in each position, beside a sibling that still
// compacts; attributes rustfmt does not honour change nothing.

#include <gtest/gtest.h>

#include <string>

#include "support/command.h"
#include "verify_compact.h"

namespace tersify::compact {
namespace {

// Each attribute beside whether rustfmt 1.9 honours it, which rustfmt itself
// confirms on a function whose spacing it would otherwise change.
struct Form {
  const char* attribute;
  bool honoured;
};

TEST(SkipAttributes, FormsAsRustfmtHonoursThem) {
  const Form forms[] = {
      {"#[rustfmt::skip]", true},
      {"#[rustfmt_skip]", true},
      {"#[cfg_attr(rustfmt, rustfmt::skip)]", true},
      {"#[cfg_attr(rustfmt, rustfmt_skip)]", true},
      {"#[cfg_attr(all(unix, feature = \"a,b\"), cfg_attr(rustfmt, rustfmt::skip,))]", true},
      {"#[rustfmt :: /* why */ skip]", true},
      {"#[r#rustfmt::skip]", true},
      {"#[allow(unused)]", false},
      {"#[rustfmt::skip::macros(foo)]", false},
      {"#[rustfmt::skip::attributes(foo)]", false},
      {"#[rustfmt::skip()]", false},
      {"#[::rustfmt::skip]", false},
      {"#[cfg_attr(rustfmt, allow(unused), rustfmt::skip)]", false},
      {"#[serde(skip)]", false},
      {"#[skip]", false},
      {"#[doc = \"rustfmt::skip\"]", false},
  };
  for (const Form& form : forms) {
    std::string attribute = std::string(form.attribute) + "\n";
    tersify::test::CommandOptions options;
    options.input = attribute + "fn f() { let x =   1; }\n";
    tersify::test::CommandResult formatted =
        tersify::test::run_command({"rustfmt", "--edition", "2021", "--emit", "stdout"}, options);
    ASSERT_EQ(0, formatted.status) << formatted.err;
    EXPECT_EQ(form.honoured, formatted.out == options.input) << form.attribute;

    std::string input = attribute + "fn f() {\n    1\n}\nfn g() {\n    2\n}\n";
    std::string f = form.honoured ? "fn f() {\n    1\n}\n" : "fn f() { 1 }\n";
    verify_compact(attribute + f + "fn g() { 2 }\n", input, 100);
  }
}

struct Case {
  const char* input;
  const char* expected;
};

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
