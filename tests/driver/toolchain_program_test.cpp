// Which toolchain's program the rustup proxy would run, told from its
// settings and files alone, on a stand-in rustup home.

#include "driver/toolchain_program.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/temp_dir.h"

namespace tersify::driver {
namespace {

TEST(ToolchainProgram, ToolchainFilesAsRustupReadsThem) {
  struct Case {
    const char* text;
    std::optional<std::string> toolchain;
  } cases[] = {
      {"nightly\n", "nightly"},
      {"  1.75.0  \n", "1.75.0"},
      {"[toolchain]\nchannel = \"nightly-2024-05-01\"\ncomponents = [\"rustfmt\"]\n", "nightly-2024-05-01"},
      {"[toolchain]\npath = \"../local\"\n", "/project/../local"},
      {"[toolchain]\npath = \"/opt/rust\"\n", "/opt/rust"},
      {"[toolchain]\nchannel = \"stable\"\npath = \"/opt/rust\"\n", std::nullopt},
      {"[toolchain]\ncomponents = [\"rust-src\"]\n", ""},  // the default toolchain
      {"[other]\nchannel = \"stable\"\n", std::nullopt},
      {"", std::nullopt},
      {"[toolchain\n", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(toolchain_file_choice(c.text, "/project"), c.toolchain) << c.text;
}

TEST(ToolchainProgram, EachSourceOfTheChoiceNamesItsToolchain) {
  test::TempDir home;
  home.write("settings.toml", "default_toolchain = \"stable-x86_64-unknown-linux-gnu\"\n[overrides]\n\"" +
                                  (home / "pinned") + "\" = \"beta\"\n");
  home.write("pinned/deep/.keep", "");
  home.write("filed/rust-toolchain.toml", "[toolchain]\nchannel = \"nightly\"\n");
  home.write("filed/deep/.keep", "");
  home.write("components/rust-toolchain.toml", "[toolchain]\ncomponents = [\"rust-src\"]\n");
  Environment environment;
  environment.rustup_home = home.path();
  ToolchainChoices choices(environment);
  EXPECT_EQ(choices.toolchain_for(home / "elsewhere"), "stable-x86_64-unknown-linux-gnu");
  EXPECT_EQ(choices.toolchain_for(home / "pinned/deep"), "beta");
  EXPECT_EQ(choices.toolchain_for(home / "filed/deep"), "nightly");
  EXPECT_EQ(choices.toolchain_for(home / "components"), "stable-x86_64-unknown-linux-gnu");
  environment.rustup_toolchain = "1.80";
  ToolchainChoices by_variable(environment);
  EXPECT_EQ(by_variable.toolchain_for(home / "filed/deep"), "1.80");
}

TEST(ToolchainProgram, NamesAreCompletedWithTheOnlyHostInstalled) {
  test::TempDir home;
  for (const char* name : {"stable-x86_64-unknown-linux-gnu", "nightly-x86_64-unknown-linux-gnu",
                           "nightly-2024-05-01-x86_64-unknown-linux-gnu", "beta-x86_64-unknown-linux-gnu",
                           "beta-aarch64-unknown-linux-gnu", "custom"}) {
    home.mkdir(std::string("toolchains/") + name);
  }
  struct Case {
    const char* toolchain;
    std::optional<std::string> folder;  // below toolchains/
  } cases[] = {
      {"stable", "stable-x86_64-unknown-linux-gnu"},
      {"stable-x86_64-unknown-linux-gnu", "stable-x86_64-unknown-linux-gnu"},
      {"nightly", "nightly-x86_64-unknown-linux-gnu"},
      {"nightly-2024-05-01", "nightly-2024-05-01-x86_64-unknown-linux-gnu"},
      {"custom", "custom"},
      {"beta", std::nullopt},  // two hosts: which one the proxy takes is not known here
      {"1.75", std::nullopt},
      {"..", std::nullopt},
  };
  for (const auto& c : cases) {
    auto want = c.folder ? std::optional(home / ("toolchains/" + *c.folder)) : std::nullopt;
    EXPECT_EQ(toolchain_folder(home.path(), c.toolchain), want) << c.toolchain;
  }
  EXPECT_EQ(toolchain_folder(home.path(), home / "toolchains/custom"), home / "toolchains/custom");
}

TEST(ToolchainProgram, TheProxyIsRustupByAnyLink) {
  test::TempDir dir;
  dir.write("bin/rustup", "");
  dir.symlink("rustup", "bin/cargo");
  ASSERT_EQ(::link((dir / "bin/rustup").c_str(), (dir / "bin/rustfmt").c_str()), 0);
  dir.write("bin/other", "");
  EXPECT_TRUE(is_rustup_proxy(dir / "bin/cargo"));
  EXPECT_TRUE(is_rustup_proxy(dir / "bin/rustfmt"));
  EXPECT_FALSE(is_rustup_proxy(dir / "bin/other"));
}

}  // namespace
}  // namespace tersify::driver
