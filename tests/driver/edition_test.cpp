#include "driver/edition.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "support/tools.h"
#include "util/spawn.h"

namespace tersify::driver {
namespace {

using test::TempDir;

// Each test counts the `cargo metadata` runs through a logging wrapper that
// stands first on PATH and hands over to the real cargo.
class EditionFor : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ignore_write_signals(); }
  void SetUp() override {
    dir_.mkdir("bin");
    test::write_logging_wrapper(dir_ / "bin", "cargo", log());
  }
  std::string log() const { return dir_ / "cargo.log"; }
  int cargo_runs() const { return test::count_lines(log()); }
  std::string path_with_wrapper() const { return dir_ / "bin:" + std::string(std::getenv("PATH")); }
  void package(const std::string& at, const std::string& name, const std::string& edition) {
    dir_.write(at + "/Cargo.toml",
               "[package]\nname = \"" + name + "\"\nversion = \"0.1.0\"\nedition = \"" + edition + "\"\n");
    dir_.write(at + "/src/lib.rs", "");
    dir_.write(at + "/src/other.rs", "");
  }

  TempDir dir_;
};

TEST_F(EditionFor, OneCargoRunAnswersAWholeWorkspace) {
  dir_.write("ws/Cargo.toml", "[workspace]\nmembers = [\"a\", \"b\"]\nresolver = \"2\"\n");
  package("ws/a", "a", "2018");
  package("ws/b", "b", "2024");
  const Program cargo{"cargo", path_with_wrapper()};
  EditionMap editions;
  EXPECT_EQ(edition_for(dir_ / "ws/a/src/lib.rs", editions, cargo).value(), "2018");
  EXPECT_EQ(edition_for(dir_ / "ws/a/src/other.rs", editions, cargo).value(), "2018");
  EXPECT_EQ(edition_for(dir_ / "ws/b/src/lib.rs", editions, cargo).value(), "2024");
  EXPECT_EQ(cargo_runs(), 1);

  // The virtual manifest has no package of its own: every file governed by
  // it asks cargo again and gets the default.
  dir_.write("ws/tools/gen.rs", "");
  EXPECT_EQ(edition_for(dir_ / "ws/tools/gen.rs", editions, cargo).value(), "2021");
  EXPECT_EQ(edition_for(dir_ / "ws/tools/gen.rs", editions, cargo).value(), "2021");
  EXPECT_EQ(cargo_runs(), 3);
}

TEST_F(EditionFor, FilesOutsideEveryPackageGetTheDefaultWithoutCargo) {
  dir_.write("loose/a.rs", "");
  // No cargo on PATH at all: a run would fail.
  const Program cargo{"cargo", dir_ / "loose"};
  EditionMap editions;
  EXPECT_EQ(edition_for(dir_ / "loose/a.rs", editions, cargo).value(), "2021");
  EXPECT_TRUE(editions.empty());
}

TEST_F(EditionFor, ResolvesTheFileBeforeLookingForItsPackage) {
  package("real", "real", "2015");
  dir_.write("plain/Cargo.toml", "[package]\nname = \"plain\"\nversion = \"0.1.0\"\nedition = \"2024\"\n");
  dir_.symlink(dir_ / "real/src", "plain/linked");
  const Program cargo{"cargo", path_with_wrapper()};
  EditionMap editions;
  EXPECT_EQ(edition_for(dir_ / "plain/linked/lib.rs", editions, cargo).value(), "2015");

  auto missing = edition_for(dir_ / "plain/gone.rs", editions, cargo);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), "No such file or directory (os error 2)");
}

TEST_F(EditionFor, LinkedManifestIsNeverFoundInTheCache) {
  package("target-pkg", "linked", "2018");
  dir_.mkdir("pkg/src");
  dir_.write("pkg/src/lib.rs", "");
  dir_.write("pkg/src/other.rs", "");
  dir_.symlink(dir_ / "target-pkg/Cargo.toml", "pkg/Cargo.toml");
  const Program cargo{"cargo", path_with_wrapper()};
  EditionMap editions;
  EXPECT_EQ(edition_for(dir_ / "pkg/src/lib.rs", editions, cargo).value(), "2021");
  EXPECT_EQ(edition_for(dir_ / "pkg/src/other.rs", editions, cargo).value(), "2021");
  EXPECT_EQ(cargo_runs(), 2);
}

TEST_F(EditionFor, HandsOnCargoFailures) {
  dir_.write("broken/Cargo.toml", "[package]\nname = 3\n");
  dir_.write("broken/src/lib.rs", "");
  const Program cargo{"cargo", path_with_wrapper()};
  EditionMap editions;
  auto failed = edition_for(dir_ / "broken/src/lib.rs", editions, cargo);
  ASSERT_FALSE(failed);
  EXPECT_TRUE(failed.error().starts_with("error: ")) << failed.error();
}

}  // namespace
}  // namespace tersify::driver
