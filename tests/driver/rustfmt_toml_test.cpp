#include "driver/rustfmt_toml.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace tersify::driver {
namespace {

using test::TempDir;

struct Amendment {
  const char* old_text;
  const char* new_text;
};

TEST(DisableFormatting, AmendsOrAppendsTheSettingByteForByte) {
  const Amendment cases[] = {
      {"", "disable_all_formatting = true\n"},
      {"disable_all_formatting = false\n", "disable_all_formatting = true\n"},
      {"disable_all_formatting=false\n", "disable_all_formatting= true\n"},
      {"disable_all_formatting = false # keep\n", "disable_all_formatting = true # keep\n"},
      {"disable_all_formatting = true   # keep\n", "disable_all_formatting = true # keep\n"},
      {"disable_all_formatting = false\r\n", "disable_all_formatting = true\r\n"},
      {"disable_all_formatting = false\r\r\n\n", "disable_all_formatting = true\r\r\n\n"},
      {"a = 1\r\ndisable_all_formatting = false", "a = 1\r\ndisable_all_formatting = true"},
      {"  \tdisable_all_formatting\u00a0 = false\n", "  \tdisable_all_formatting\u00a0 = true\n"},
      {"# disable_all_formatting = false\n", "# disable_all_formatting = false\ndisable_all_formatting = true\n"},
      {"max_width = 100", "max_width = 100\ndisable_all_formatting = true\n"},
      {"disable_all_formatting_x = true\n", "disable_all_formatting_x = true\ndisable_all_formatting = true\n"},
      {"disable_all_formatting\n", "disable_all_formatting\ndisable_all_formatting = true\n"},
      {"disable_all_formatting = \"no\" = x # a # b\n", "disable_all_formatting = true # a # b\n"},
      // Only the first setting line changes.
      {"disable_all_formatting = false\ndisable_all_formatting = false\n",
       "disable_all_formatting = true\ndisable_all_formatting = false\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.old_text);
    TempDir dir;
    std::string path = dir / "rustfmt.toml";
    if (*c.old_text != '\0') dir.write("rustfmt.toml", c.old_text);
    std::vector<std::string> updates;

    ASSERT_TRUE(disable_formatting(path, true, updates));
    EXPECT_EQ(updates, std::vector<std::string>{path});
    EXPECT_EQ(dir.exists("rustfmt.toml"), *c.old_text != '\0') << "check mode wrote";

    updates.clear();
    ASSERT_TRUE(disable_formatting(path, false, updates));
    EXPECT_EQ(updates, std::vector<std::string>{path});
    EXPECT_EQ(dir.read("rustfmt.toml"), c.new_text);

    // A second run finds nothing to do.
    updates.clear();
    ASSERT_TRUE(disable_formatting(path, false, updates));
    EXPECT_TRUE(updates.empty());
  }
}

TEST(DisableFormatting, LeavesACorrectFileAlone) {
  for (const char* text : {"disable_all_formatting = true\n", "x = 1\n disable_all_formatting = true # yes\r\n",
                           "disable_all_formatting = true"}) {
    TempDir dir;
    dir.write("rustfmt.toml", text);
    std::vector<std::string> updates;
    ASSERT_TRUE(disable_formatting(dir / "rustfmt.toml", false, updates));
    EXPECT_TRUE(updates.empty());
    EXPECT_EQ(dir.read("rustfmt.toml"), text);
  }
}

TEST(DisableFormatting, ReadAndWriteFailuresNameTheConfigPath) {
  TempDir dir;
  std::vector<std::string> updates;

  dir.write("bad/rustfmt.toml", "max_width = 9\xff\n");
  auto invalid = disable_formatting(dir / "bad/rustfmt.toml", false, updates);
  ASSERT_FALSE(invalid);
  EXPECT_EQ(invalid.error(), dir / "bad/rustfmt.toml: stream did not contain valid UTF-8");

  dir.mkdir("dir/rustfmt.toml");
  auto directory = disable_formatting(dir / "dir/rustfmt.toml", true, updates);
  ASSERT_FALSE(directory);
  EXPECT_EQ(directory.error(), dir / "dir/rustfmt.toml: Is a directory (os error 21)");

  // Missing is no read failure, but the write below a missing directory is,
  // and only in write mode.
  ASSERT_TRUE(disable_formatting(dir / "missing/rustfmt.toml", true, updates));
  auto unwritable = disable_formatting(dir / "missing/rustfmt.toml", false, updates);
  ASSERT_FALSE(unwritable);
  EXPECT_EQ(unwritable.error(), dir / "missing/rustfmt.toml: No such file or directory (os error 2)");
  EXPECT_EQ(updates, (std::vector<std::string>{dir / "missing/rustfmt.toml", dir / "missing/rustfmt.toml"}));
}

TEST(MaxWidthFor, ReadsTheNearestReadableConfig) {
  struct Case {
    const char* text;
    std::uint64_t width;
  };
  const Case cases[] = {
      {"max_width = 120\n", 120},
      {"max_width = \"120\"\n", 120},
      {"max_width = 120 # note\n", 160},
      {"max_width=\n", 160},
      {"   max_width = 90\n", 90},
      {"max_width = 90\r\n", 90},
      {"max_width = 90\r\r\n", 90},
      {"max_width = 90\r", 90},
      {"max_width = +0", 0},
      {"max_width = -1\n", 160},
      {"max_width = 18446744073709551615\n", 18446744073709551615ull},
      {"max_width = 18446744073709551616\n", 160},
      {"max_width\nmax_width = 100\n", 160},
      {"max_widths = 70\n", 70},
      {"max_width = 70 = 80\n", 70},
      {"\u3000max_width =\u00a080\u2003\n", 80},
      {"edition = \"2021\"\n", 160},
      {"# max_width = 70\nmax_width = 71\n", 71},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TempDir dir;
    dir.write("rustfmt.toml", c.text);
    dir.write("src/lib.rs", "");
    EXPECT_EQ(max_width_for(dir / "src/lib.rs"), c.width);
  }
}

TEST(MaxWidthFor, NearestFileDecidesAndUnreadableOnesArePassedOver) {
  TempDir dir;
  dir.write("rustfmt.toml", "max_width = 100\n");
  dir.write("a/rustfmt.toml", "edition = \"2021\"\n");
  dir.write("a/x.rs", "");
  dir.write("b/rustfmt.toml", "max_width = 50\xff\n");
  dir.write("b/x.rs", "");
  dir.mkdir("c/rustfmt.toml");
  dir.write("c/x.rs", "");
  dir.write("d/e/x.rs", "");
  EXPECT_EQ(max_width_for(dir / "a/x.rs"), 160u);
  EXPECT_EQ(max_width_for(dir / "b/x.rs"), 100u);
  EXPECT_EQ(max_width_for(dir / "c/x.rs"), 100u);
  EXPECT_EQ(max_width_for(dir / "d/e/x.rs"), 100u);

  // Resolved first: a link into b/ finds the config above the target.
  dir.write("real/rustfmt.toml", "max_width = 33\n");
  dir.write("real/x.rs", "");
  dir.symlink(dir / "real/x.rs", "a/link.rs");
  EXPECT_EQ(max_width_for(dir / "a/link.rs"), 33u);
}

TEST(ConfigPaths, OnePerPackageRootSortedWithoutDuplicates) {
  TempDir dir;
  dir.write("pkg/Cargo.toml", "");
  dir.write("pkg/src/lib.rs", "");
  dir.write("pkg/src/nested/mod.rs", "");
  dir.write("loose/a.rs", "");
  dir.write("other/Cargo.toml", "");

  auto paths = config_paths({dir / "pkg/src/nested", dir / "other", dir / "pkg", dir / "pkg/src/lib.rs",
                             dir / "pkg/src//", dir / "loose/a.rs", dir / "loose"});
  EXPECT_EQ(paths, (std::vector<std::string>{dir / "loose/rustfmt.toml", dir / "other/rustfmt.toml",
                                             dir / "pkg/rustfmt.toml"}));
}

TEST(ConfigPaths, ResolvesLinksAndKeepsUnresolvableArguments) {
  TempDir dir;
  dir.write("pkg/Cargo.toml", "");
  dir.write("pkg/src/lib.rs", "");
  dir.symlink(dir / "pkg/src", "elsewhere/src-link");
  // The link's real place decides the package, not the lexical parent.
  EXPECT_EQ(config_paths({dir / "elsewhere/src-link"}), std::vector<std::string>{dir / "pkg/rustfmt.toml"});

  // A missing argument stays as given: below the nearest package above it, or
  // below itself.
  EXPECT_EQ(config_paths({dir / "pkg/nothing/here"}), std::vector<std::string>{dir / "pkg/rustfmt.toml"});
  EXPECT_EQ(config_paths({dir / "nothing"}), std::vector<std::string>{dir / "nothing/rustfmt.toml"});
}

}  // namespace
}  // namespace tersify::driver
