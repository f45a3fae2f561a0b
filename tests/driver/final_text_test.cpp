// Write mode settles: the pipeline runs again on its own result until the
// text stops changing, so that --check right after a write finds nothing.

#include "driver/final_text.h"

#include <gtest/gtest.h>

#include <map>

#include "compact/compact.h"
#include "driver/fresh_rustfmt.h"
#include "e2e/project.h"
#include "support/tools.h"
#include "util/spawn.h"

namespace tersify::driver {
namespace {

// A closure body that rustfmt spreads over lines and keeps its braces for;
// once compaction has joined it, rustfmt takes the braces off.
const std::string closure_source = R"(pub fn f(span: &tracing::Span) {
    span.in_scope(|| {
        tracing::trace!(
        target: "runtime::resource::state_update",
        current_readers = 1,
        current_readers.op = "sub",
        )
    });
}
)";

TEST(FinalText, AClosureJoinedByCompactionIsSettledByOneWrite) {
  ignore_write_signals();
  auto one_pass = [](const std::string& text) {
    auto formatted = run_rustfmt(test::on_path("rustfmt"), text, {"2021", 160, {}, 1, {}});
    EXPECT_TRUE(formatted) << formatted.error();
    return compact::compact(formatted ? *formatted : "", 160);
  };
  std::string first = one_pass(closure_source);
  std::string second = one_pass(first);
  ASSERT_NE(first, second) << "rustfmt no longer unwraps the joined closure";
  EXPECT_NE(second.find("span.in_scope(|| tracing::trace!("), std::string::npos) << second;

  test::TempDir dir;
  test::write_package(dir, "", "closure", "2021");
  dir.write("src/lib.rs", closure_source);
  auto write = test::tersify_in(dir.path(), {});
  EXPECT_EQ(write.status, 0) << write.err;
  EXPECT_EQ(dir.read("src/lib.rs"), second) << "what two writes of one pass each give";
  auto check = test::tersify_in(dir.path(), {"--check"});
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.out, "");
  EXPECT_EQ(check.err, "");
}

// A rustfmt stand-in that maps each input to an output ("!" fails), so that
// any sequence of passes can be laid out. Compaction leaves these one-line
// texts as they are.
struct Scripted : Formatter {
  explicit Scripted(std::map<std::string, std::string> map) : next(std::move(map)) {}
  std::map<std::string, std::string> next;
  int calls = 0;
  void format(std::span<const FormatRequest> requests, const Cancellation*, const FormatDone& done) override {
    for (std::size_t i = 0; i < requests.size(); ++i) {
      ++calls;
      auto found = next.find(std::string(requests[i].text));
      if (found == next.end() || found->second == "!") {
        done(i, fail("error: rejected\n"));
      } else {
        done(i, found->second);
      }
    }
  }
};

TEST(FinalText, SettlingKeepsTheLastTextRustfmtAcceptedAndStopsAfterThreeMorePasses) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> next;
    bool settle;
    std::string text;  // the result; "" for a failure
    int passes;
    int calls;
  };
  const Case cases[] = {
      {"first result final", {{"s\n", "a\n"}, {"a\n", "a\n"}}, true, "a\n", 1, 2},
      {"unchanged file: no second run", {{"s\n", "s\n"}}, true, "s\n", 1, 1},
      {"check mode runs once, then asks whether the result is accepted",
       {{"s\n", "a\n"}, {"a\n", "b\n"}},
       false,
       "a\n",
       1,
       2},
      {"check mode: result rejected", {{"s\n", "a\n"}, {"a\n", "!"}}, false, "", 0, 2},
      {"settles on the second", {{"s\n", "a\n"}, {"a\n", "b\n"}, {"b\n", "b\n"}}, true, "b\n", 2, 3},
      {"rejected at once", {{"s\n", "!"}}, true, "", 0, 1},
      {"first result rejected", {{"s\n", "a\n"}, {"a\n", "!"}}, true, "", 0, 2},
      {"second result rejected: the first kept", {{"s\n", "a\n"}, {"a\n", "b\n"}, {"b\n", "!"}}, true, "a\n", 1, 3},
      {"never settles: the last text",
       {{"s\n", "a\n"}, {"a\n", "b\n"}, {"b\n", "c\n"}, {"c\n", "d\n"}, {"d\n", "e\n"}},
       true,
       "d\n",
       4,
       5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scripted rustfmt{c.next};
    auto result = final_text("s\n", {}, c.settle, rustfmt);
    EXPECT_EQ(rustfmt.calls, c.calls);
    if (c.text.empty()) {
      ASSERT_FALSE(result);
      std::string rejected = c.calls == 1 ? "" : std::string(rejected_text_message) + "\n";
      EXPECT_EQ(result.error(), rejected + "error: rejected\n");
      continue;
    }
    ASSERT_TRUE(result) << result.error();
    EXPECT_EQ(result->text, c.text);
    EXPECT_EQ(result->passes, c.passes);
  }
}

}  // namespace
}  // namespace tersify::driver
