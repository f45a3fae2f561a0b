#include "util/paths.h"

#include <gtest/gtest.h>

namespace tersify {
namespace {

using Strings = std::vector<std::string>;

TEST(PathOrder, ComparesComponentByComponent) {
  // Not byte order: "a" is a proper prefix of "a.rs", although '/' > '.'.
  EXPECT_TRUE(path_less("./src/a/b.rs", "./src/a.rs"));
  EXPECT_FALSE(path_less("./src/a.rs", "./src/a/b.rs"));
  EXPECT_TRUE(path_less("/z", "a"));        // root before anything relative
  EXPECT_TRUE(path_less("./a", "../a"));    // "." before ".."
  EXPECT_TRUE(path_less("../a", "a"));      // ".." before names
  EXPECT_TRUE(path_less("a", "a/b"));       // shorter first
  EXPECT_TRUE(path_less("B", "a"));         // bytes, not letters
  EXPECT_TRUE(path_less("a", "\xc3\xa9"));  // unsigned bytes
}

TEST(PathOrder, EqualityIgnoresRedundantSeparatorsAndInnerDots) {
  EXPECT_TRUE(paths_equal("a//b/", "a/b"));
  EXPECT_TRUE(paths_equal("a/./b", "a/b"));
  EXPECT_FALSE(paths_equal("./a", "a"));
  EXPECT_FALSE(paths_equal("a/../b", "b"));
  EXPECT_TRUE(paths_equal("/", "//"));
}

TEST(Paths, JoinAddsOneSeparator) {
  EXPECT_EQ(join_path(".", "src"), "./src");
  EXPECT_EQ(join_path("", "Cargo.toml"), "Cargo.toml");
  EXPECT_EQ(join_path("/", "x"), "/x");
  EXPECT_EQ(join_path("a/", "x"), "a/x");
}

TEST(Paths, FileNameIsTheLastNameComponent) {
  EXPECT_EQ(file_name("./src/main.rs"), "main.rs");
  EXPECT_EQ(file_name("src/"), "src");
  EXPECT_FALSE(file_name(".").has_value());
  EXPECT_FALSE(file_name("..").has_value());
  EXPECT_FALSE(file_name("a/..").has_value());
  EXPECT_FALSE(file_name("/").has_value());
  EXPECT_FALSE(file_name("").has_value());
  EXPECT_EQ(file_name("a/."), "a");
}

TEST(Paths, CandidatesRunUpToTheRootOrTheWorkingDirectory) {
  EXPECT_EQ(path_candidates("/a/b"), (Strings{"/a/b", "/a", "/"}));
  EXPECT_EQ(path_candidates("nosuchdir/sub"), (Strings{"nosuchdir/sub", "nosuchdir", ""}));
  EXPECT_EQ(path_candidates("/"), Strings{"/"});
  EXPECT_EQ(path_candidates(""), Strings{""});
  EXPECT_EQ(path_candidates("./src/"), (Strings{"./src/", ".", ""}));
  EXPECT_EQ(path_candidates("a//b/"), (Strings{"a//b/", "a", ""}));
}

TEST(Paths, LiesWithinComponentByComponentAndNeverThroughParents) {
  EXPECT_TRUE(lies_within("/ws/a/rustfmt.toml", "/ws"));
  EXPECT_TRUE(lies_within("/ws", "/ws/"));
  EXPECT_TRUE(lies_within("a//b/", "a/b"));
  EXPECT_FALSE(lies_within("/wsx/rustfmt.toml", "/ws"));
  EXPECT_FALSE(lies_within("/ws", "/ws/a"));
  EXPECT_FALSE(lies_within("/ws/../etc/passwd", "/ws"));
}

// For paths spelled alike: what follows the folder, "" for the folder itself.
TEST(Paths, BelowAFolderSpelledAlike) {
  EXPECT_EQ(path_below("/ws/a/b.rs", "/ws"), "a/b.rs");
  EXPECT_EQ(path_below("/ws", "/ws"), "");
  EXPECT_EQ(path_below("src/a.rs", "src/"), "a.rs");
  EXPECT_EQ(path_below("/a.rs", "/"), "a.rs");
  EXPECT_FALSE(path_below("/wsx/a.rs", "/ws"));
  EXPECT_FALSE(path_below("/ws", "/ws/a"));
}

TEST(Paths, DisplayReplacesInvalidBytes) {
  EXPECT_EQ(display_path("a/\xff\xfe.rs"), "a/\xEF\xBF\xBD\xEF\xBF\xBD.rs");
  EXPECT_EQ(display_path("caf\xc3\xa9"), "caf\xc3\xa9");
}

}  // namespace
}  // namespace tersify
