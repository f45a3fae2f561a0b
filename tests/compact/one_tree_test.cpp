// The joins of all rounds decided on one tree, against the rounds that parse
// each text again (the reference engine), on the texts where a parse of the
// joined text could differ from the tree with the joins made. Each case also
// says how many parses the pass needs.

#include <gtest/gtest.h>

#include <string>

#include "compact/compact.h"
#include "support/generated_rust.h"
#include "support/round_engine.h"

namespace tersify::compact {
namespace {

struct Case {
  const char* what;
  std::string text;
  std::size_t parses_at_width_100;  // with tabs of one column
};

const Case cases[] = {
    {"three rounds of nesting", "impl P {\n    fn zero() -> u8 {\n        if a {\n            0\n        } else {\n            1\n        }\n    }\n}\n", 1},
    {"joins beside an earlier round's join on one line",
     "fn f() {\n    let v = if a { x } else {\n        y\n    };\n    g(|| {\n        h()\n    }, {\n        i\n    });\n}\n", 1},
    {"trailing commas dropped before a brace", "fn f() -> S {\n    S {\n        a: 1,\n        b: T {\n            c,\n        },\n    }\n}\n", 1},
    {"\", }\" kept in literals and token trees", "fn f() {\n    m! {\n        a,\n    }\n}\nfn g() {\n    h(\", }\", {\n        x\n    })\n}\n", 1},
    {"a line glued after a number", "fn f() -> u8 {\n    1\n        .max(2)\n}\nfn g() {\n    self.0\n        .h();\n}\n", 2},
    {"a line glued after a name", "fn f() -> u8 {\n    x\n        .max(2)?\n}\n", 1},
    {"a text that parses with errors", "fn f() {\n    let x = ;\n}\nfn g() {\n    if a {\n        b\n    }\n}\n", 3},
    {"rustfmt named inside a join", "fn f() {\n    g(\"rustfmt\", {\n        x\n    })\n}\n", 2},
    {"a skip attribute", "fn f() {\n    #[rustfmt::skip]\n    let x = {\n        1\n    };\n}\nfn g() {\n    h()\n}\n", 1},
    {"hard tabs", "fn f() {\n\tif a {\n\t\tb();\n\t} else {\n\t\tc();\n\t}\n\td();\n}\n", 1},
    {"CRLF line ends", "fn f() {\r\n    if a {\r\n        b();\r\n    } else {\r\n        c();\r\n    }\r\n    d();\r\n}\r\n", 1},
    {"an else that a join brings onto the line of its brace",
     "fn f() {\n    loop {\n        if a {\n            b();\n        }\n        else {\n            c();\n        };\n    }\n}\n", 1},
    {"labelled blocks and match arms", "fn f(x: u8) {\n    'a: {\n        match x {\n            1 => {\n                g();\n            }\n            _ => h(),\n        }\n    }\n}\n", 1},
    {"the fifth round ends the joining", tersify::test::nested_blocks_on_lines(8), 1},
};

TEST(OneTree, SameTextAsTheRoundsThatParseAgain) {
  for (const Case& c : cases) {
    for (std::size_t tab_width : {1u, 4u, 0u}) {
      for (std::size_t width : {12u, 30u, 45u, 100u}) {
        Compaction compaction{c.text, width, tab_width};
        std::string actual = compaction.result();
        EXPECT_EQ(reference::compact_in_rounds(c.text, width, tab_width), actual)
            << c.what << " at width " << width << ", tab width " << tab_width;
        if (width == 100 && tab_width == 1) {
          EXPECT_EQ(c.parses_at_width_100, compaction.parses()) << c.what;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tersify::compact
