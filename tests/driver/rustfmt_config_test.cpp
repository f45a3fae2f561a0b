#include "driver/rustfmt_config.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace tersify::driver {
namespace {

using test::TempDir;

TEST(RustfmtConfig, ReadsTheValuesAsTomlAndRefusesWhatRustfmtRefuses) {
  struct Case {
    const char* text;
    std::optional<std::uint64_t> width;  // none: fails with `message`
    std::uint64_t tab_columns = 1;       // tab_spaces with hard_tabs, else 1
    const char* message = "";
    std::vector<std::string> ignore = {};
  };
  const Case cases[] = {
      {"", std::nullopt, 1, nullptr},
      {"max_width = 40 # short lines\n", 40},
      {"\"max_width\" = 41\r\n", 41},
      {"'max_width'=0x2A", 42},
      {"max_width = 4_3\nhard_tabs = true\n", 43, 4},
      {"hard_tabs = true\ntab_spaces = 2\nmax_width = 44\n", 44, 2},
      {"tab_spaces = 8\nmax_width = 45\n", 45},
      {"max_width = \"40\"\n", std::nullopt, 1, "max_width: expected an unsigned integer"},
      {"max_width = -1\n", std::nullopt, 1, "max_width: expected an unsigned integer"},
      {"hard_tabs = 1\n", std::nullopt, 1, "hard_tabs: expected a boolean"},
      {"ignore = [\"src/a.rs\", 'gen/']\nmax_width = 46\n", 46, 1, "", {"src/a.rs", "gen/"}},
      {"ignore = []\nmax_width = 47\n", 47},
      {"ignore = \"src/a.rs\"\n", std::nullopt, 1, "ignore: expected an array of strings"},
      {"ignore = [\"a.rs\", 1]\n", std::nullopt, 1, "ignore: expected an array of strings"},
      {"max_width = [\n", std::nullopt, 1,
       "invalid TOML at line 1, column 15: Error while parsing array: encountered end-of-file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto config = parse_rustfmt_config(c.text);
    if (c.message == nullptr) {
      ASSERT_TRUE(config);
      EXPECT_EQ(config->max_width, std::nullopt);
    } else if (c.width) {
      ASSERT_TRUE(config) << config.error();
      EXPECT_EQ(config->max_width, c.width);
      EXPECT_EQ(config->hard_tabs ? config->tab_spaces : 1u, c.tab_columns);
      EXPECT_EQ(config->ignore, c.ignore);
    } else {
      ASSERT_FALSE(config);
      EXPECT_EQ(config.error(), c.message);
    }
  }
}

// rustfmt's search: in each folder from the file's up, .rustfmt.toml before
// rustfmt.toml; a folder named like a config file is not one.
TEST(RustfmtConfig, TheNearestFileWinsAndTheDottedNameFirst) {
  TempDir dir;
  dir.write("rustfmt.toml", "max_width = 100\n");
  dir.write("a/.rustfmt.toml", "max_width = 50\n");
  dir.write("a/rustfmt.toml", "max_width = 70\n");
  dir.mkdir("a/b/.rustfmt.toml");
  dir.write("bad/rustfmt.toml", "max_width = 9\nmax_width = 9\n");
  for (auto [folder, width] : {std::pair{"", 100u}, {"a", 50u}, {"a/b", 50u}}) {
    SCOPED_TRACE(folder);
    auto config = read_rustfmt_config(config_rustfmt_reads(dir / folder, Environment{}).value());
    ASSERT_TRUE(config) << config.error();
    EXPECT_EQ(config->max_width, width);
  }
  auto bad = read_rustfmt_config(config_rustfmt_reads(dir / "bad", Environment{}).value());
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error(), dir / "bad/rustfmt.toml: invalid TOML at line 2, column 13: Error while parsing key-value "
                               "pair: cannot redefine existing integer 'max_width'");
}

}  // namespace
}  // namespace tersify::driver
