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
      {"disable_all_formatting=false\n", "disable_all_formatting=true\n"},
      {"disable_all_formatting = false # keep\n", "disable_all_formatting = true # keep\n"},
      {"disable_all_formatting = false\r\n", "disable_all_formatting = true\r\n"},
      {"a = 1\r\ndisable_all_formatting = false", "a = 1\r\ndisable_all_formatting = true"},
      {"  \tdisable_all_formatting = false\n", "  \tdisable_all_formatting = true\n"},
      {"\"disable_all_formatting\" = false\n", "\"disable_all_formatting\" = true\n"},
      {"'disable_all_formatting'=\"no\"#x\n", "'disable_all_formatting'=true#x\n"},
      {"\"\u00e9\" = \"\u00e9\"\ndisable_all_formatting = 0 # \u00e9\n", "\"\u00e9\" = \"\u00e9\"\ndisable_all_formatting = true # \u00e9\n"},
      {"# disable_all_formatting = false\n", "# disable_all_formatting = false\ndisable_all_formatting = true\n"},
      {"max_width = 100", "max_width = 100\ndisable_all_formatting = true\n"},
      {"disable_all_formatting_x = true\n", "disable_all_formatting_x = true\ndisable_all_formatting = true\n"},
      // A table's keys are not the root's, and a line after a header would
      // be the table's.
      {"a = 1\n[t]\ndisable_all_formatting = false\n",
       "disable_all_formatting = true\na = 1\n[t]\ndisable_all_formatting = false\n"},
      {"x = 2\ndisable_all_formatting = false\n[[t]]\n", "x = 2\ndisable_all_formatting = true\n[[t]]\n"},
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
  for (const char* text : {"disable_all_formatting = true\n", "x = 1\n disable_all_formatting = true   # yes\r\n",
                           "disable_all_formatting = true", "\"disable_all_formatting\"=true\n[t]\n"}) {
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

  // Not TOML: the amendment could not keep the file valid, and rustfmt
  // refuses it anyway.
  dir.write("toml/rustfmt.toml", "max_width = 40\nmax_width = 50\n");
  auto duplicate = disable_formatting(dir / "toml/rustfmt.toml", false, updates);
  ASSERT_FALSE(duplicate);
  EXPECT_EQ(duplicate.error(), dir / "toml/rustfmt.toml: invalid TOML at line 2, column 13: Error while parsing "
                                     "key-value pair: cannot redefine existing integer 'max_width'");

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

TEST(ConfigPaths, OnePerPackageRootSortedWithoutDuplicates) {
  TempDir dir;
  dir.write("pkg/Cargo.toml", "");
  dir.write("pkg/src/lib.rs", "");
  dir.write("pkg/src/nested/mod.rs", "");
  dir.write("loose/a.rs", "");
  dir.write("other/Cargo.toml", "");

  auto paths = config_paths({dir / "pkg/src/nested", dir / "other", dir / "pkg", dir / "pkg/src/lib.rs",
                             dir / "pkg/src//", dir / "loose/a.rs", dir / "loose"},
                            {});
  EXPECT_EQ(paths, (std::vector<std::string>{dir / "loose/rustfmt.toml", dir / "other/rustfmt.toml",
                                             dir / "pkg/rustfmt.toml"}));
}

TEST(ConfigPaths, ResolvesLinksAndKeepsUnresolvableArguments) {
  TempDir dir;
  dir.write("pkg/Cargo.toml", "");
  dir.write("pkg/src/lib.rs", "");
  dir.symlink(dir / "pkg/src", "elsewhere/src-link");
  // The link's real place decides the package, not the lexical parent.
  EXPECT_EQ(config_paths({dir / "elsewhere/src-link"}, {}), std::vector<std::string>{dir / "pkg/rustfmt.toml"});

  // A missing argument stays as given: below the nearest package above it, or
  // below itself.
  EXPECT_EQ(config_paths({dir / "pkg/nothing/here"}, {}), std::vector<std::string>{dir / "pkg/rustfmt.toml"});
  EXPECT_EQ(config_paths({dir / "nothing"}, {}), std::vector<std::string>{dir / "nothing/rustfmt.toml"});
}

// The file rustfmt reads for the package: the nearest one up to the
// workspace root, .rustfmt.toml first; the members of a workspace come from
// the listed files.
TEST(ConfigPaths, TheNearestConfigWithinTheWorkspaceForEveryListedPackage) {
  TempDir dir;
  dir.write("ws/Cargo.toml", "[workspace]\nmembers = [\"a\", \"b\", \"c\"]\n");
  dir.write("ws/rustfmt.toml", "max_width = 60\n");
  dir.write("ws/a/Cargo.toml", "[package]\n");
  dir.write("ws/a/.rustfmt.toml", "");
  dir.write("ws/a/rustfmt.toml", "");
  dir.write("ws/b/Cargo.toml", "[package]\n");
  dir.write("ws/c/Cargo.toml", "[package]\n");
  dir.write("ws/c/src/rustfmt.toml", "");  // below the root: not the package's
  dir.write("alone/Cargo.toml", "[package]\n");
  dir.write("rustfmt.toml", "");  // above the workspace: not the package's

  EXPECT_EQ(config_paths({dir / "ws"}, {dir / "ws/a/src/lib.rs", dir / "ws/b/src/lib.rs", dir / "ws/c/src/lib.rs"}),
            (std::vector<std::string>{dir / "ws/a/.rustfmt.toml", dir / "ws/rustfmt.toml"}));
  EXPECT_EQ(config_paths({dir / "alone"}, {}), std::vector<std::string>{dir / "alone/rustfmt.toml"});
}

}  // namespace
}  // namespace tersify::driver
