#include "driver/package_metadata.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/temp_dir.h"
#include "support/tools.h"
#include "util/spawn.h"

namespace tersify::driver {
namespace {

using test::TempDir;

void write_package(const TempDir& dir, const std::string& at, const std::string& name, const std::string& edition) {
  std::string prefix = at.empty() ? "" : at + "/";
  dir.write(prefix + "Cargo.toml", "[package]\nname = \"" + name + "\"\nversion = \"0.1.0\"\nedition = \"" + edition +
                                       "\"\n\n[dependencies]\n");
  dir.write(prefix + "src/lib.rs", "");
}

TEST(PackageRoot, FirstCandidateWithARegularManifest) {
  TempDir dir;
  dir.write("pkg/Cargo.toml", "");
  dir.write("pkg/src/lib.rs", "");
  dir.mkdir("pkg/inner/Cargo.toml");  // a directory is no manifest
  dir.mkdir("pkg/inner/deep");
  dir.write("linked/real.toml", "");
  dir.symlink(dir / "linked/real.toml", "linked/sub/Cargo.toml");
  dir.symlink(dir / "nowhere", "dangling/Cargo.toml");
  dir.mkdir("dangling/x");

  EXPECT_EQ(package_root(dir / "pkg/src/lib.rs"), dir / "pkg");
  EXPECT_EQ(package_root(dir / "pkg"), dir / "pkg");
  EXPECT_EQ(package_root(dir / "pkg/inner/deep"), dir / "pkg");
  EXPECT_EQ(package_root(dir / "pkg/missing/sub/file.rs"), dir / "pkg");
  EXPECT_EQ(package_root(dir / "pkg/src//"), dir / "pkg");
  EXPECT_EQ(package_root(dir / "linked/sub"), dir / "linked/sub");
  EXPECT_EQ(package_root(dir / "dangling/x"), std::nullopt);
  EXPECT_EQ(package_root("/"), std::nullopt);
}

TEST(EnterPackages, TakesManifestPathAndEditionOfEveryPackage) {
  TempDir dir;
  dir.write("a/Cargo.toml", "");
  dir.write("b/Cargo.toml", "");
  dir.symlink(dir / "b/Cargo.toml", "c/Cargo.toml");
  EditionMap editions;
  std::string json = R"({"version": 1, "packages": [
      {"name": "a", "manifest_path": ")" +
                     dir / "a/Cargo.toml" + R"(", "edition": "2015", "extra": [1, {}]},
      {"manifest_path": ")" +
                     dir / "b/./Cargo.toml" + R"(", "edition": "2024"},
      {"manifest_path": ")" +
                     dir / "c/Cargo.toml" +
                     R"(", "edition": "whatever"}
    ]}  )"
                     "\r\n\t";
  ASSERT_TRUE(enter_packages(json, editions));
  EXPECT_EQ(editions, (EditionMap{{dir / "a/Cargo.toml", "2015"}, {dir / "b/Cargo.toml", "whatever"}}));
  EXPECT_EQ(editions.count(dir / "a//Cargo.toml"), 1u) << "keys compare in path order";

  ASSERT_TRUE(enter_packages(R"({"packages": []})", editions));
  EXPECT_EQ(editions.size(), 2u);
}

TEST(EnterPackages, MessagesForEveryKindOfBadDocument) {
  TempDir dir;
  dir.write("a/Cargo.toml", "");
  std::string good = R"({"manifest_path": ")" + dir / "a/Cargo.toml" + R"(", "edition": "2018"})";
  struct Case {
    std::string json;
    std::string message;
  };
  const Case cases[] = {
      // The parser's own wording follows the position; only the start is ours.
      {"", "invalid cargo metadata: parse error at line 1, column 1: "},
      {"{\"packages\": []} x", "invalid cargo metadata: parse error at line 1, column 18: "},
      {"{\"packages\": []}\n{}", "invalid cargo metadata: parse error at line 2, column 1: "},
      {"{\"packages\": [\n  {\"a\": 1,}]}", "invalid cargo metadata: parse error at line 2, column 11: "},
      {"[]", "cargo metadata has no packages"},
      {"{}", "cargo metadata has no packages"},
      {"{\"packages\": {}}", "cargo metadata has no packages"},
      {"{\"packages\": [" + good + ", 3]}", "cargo package has no manifest_path"},
      {"{\"packages\": [{\"manifest_path\": 1, \"edition\": \"2018\"}]}", "cargo package has no manifest_path"},
      {"{\"packages\": [" + good + ", {\"manifest_path\": \"/x\", \"edition\": 2021}]}",
       "cargo package has no edition"},
      {"{\"packages\": [" + good + ", {\"manifest_path\": \"/x\", \"edition\": null}]}",
       "cargo package has no edition"},
      {"{\"packages\": [" + good + ", {\"manifest_path\": \"" + dir / "gone/Cargo.toml" +
           "\", \"edition\": \"2018\"}]}",
       "No such file or directory (os error 2)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    EditionMap editions;
    if (c.json.ends_with(" x") || c.json.ends_with("\n{}")) {
      auto trailing = enter_packages(c.json, editions);
      ASSERT_FALSE(trailing);
      EXPECT_TRUE(trailing.error().ends_with("expected end of input")) << trailing.error();
    }
    auto entered = enter_packages(c.json, editions);
    ASSERT_FALSE(entered);
    if (c.message.starts_with("invalid")) {
      EXPECT_TRUE(entered.error().starts_with(c.message)) << entered.error();
    } else {
      EXPECT_EQ(entered.error(), c.message);
    }
    // Packages before the bad one stay entered.
    if (c.json.find(good) != std::string::npos) {
      EXPECT_EQ(editions[dir / "a/Cargo.toml"], "2018");
    }
  }
}

TEST(WorkspaceOf, RootAndMembersByNameOrWhatIsMissing) {
  auto workspace = workspace_of(R"({"workspace_root": "/w", "packages": [
      {"name": "b", "manifest_path": "/w/b/Cargo.toml", "edition": "2015"},
      {"name": "a", "manifest_path": "/w/a/Cargo.toml", "edition": "2021"}]})");
  ASSERT_TRUE(workspace) << workspace.error();
  EXPECT_EQ(workspace->root, "/w");
  ASSERT_EQ(workspace->members.size(), 2u);
  EXPECT_EQ(workspace->members[0].name + " " + workspace->members[0].manifest_path, "b /w/b/Cargo.toml");
  EXPECT_EQ(workspace->members[1].name + " " + workspace->members[1].manifest_path, "a /w/a/Cargo.toml");

  for (auto [json, message] :
       {std::pair{R"({"packages": []})", "cargo metadata has no workspace_root"},
        {R"({"workspace_root": "/w", "packages": [{"manifest_path": "/w/Cargo.toml"}]})", "cargo package has no name"},
        {"{", "invalid cargo metadata"}}) {
    auto bad = workspace_of(json);
    ASSERT_FALSE(bad) << json;
    EXPECT_EQ(bad.error(), message);
  }
}

class LoadPackages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ignore_write_signals(); }
};

TEST_F(LoadPackages, RealCargoReportsEveryWorkspaceMember) {
  TempDir dir;
  dir.write("Cargo.toml", "[workspace]\nmembers = [\"old\", \"new\"]\nresolver = \"2\"\n");
  write_package(dir, "old", "old", "2015");
  write_package(dir, "new", "new", "2024");
  EditionMap editions;
  ASSERT_TRUE(load_packages(dir / "old/Cargo.toml", editions, test::on_path("cargo")));
  EXPECT_EQ(editions, (EditionMap{{dir / "new/Cargo.toml", "2024"}, {dir / "old/Cargo.toml", "2015"}}));
}

TEST_F(LoadPackages, CargoFailuresComeBackVerbatimOrAsStartFailures) {
  TempDir dir;
  dir.write("bad/Cargo.toml", "[package\n");
  EditionMap editions;
  auto rejected = load_packages(dir / "bad/Cargo.toml", editions, test::on_path("cargo"));
  ASSERT_FALSE(rejected);
  EXPECT_TRUE(rejected.error().starts_with("error: ")) << rejected.error();
  EXPECT_TRUE(rejected.error().ends_with("\n"));

  auto missing = load_packages(dir / "bad/Cargo.toml", editions, Program{"cargo", dir / "empty-bin"});
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), "failed to run cargo metadata: No such file or directory (os error 2)");
  EXPECT_TRUE(editions.empty());
}

}  // namespace
}  // namespace tersify::driver
