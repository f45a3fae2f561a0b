// Remembered cargo metadata answers, with a stand-in for cargo's run: each
// change to what decides cargo's answer makes it run again, and nothing
// else does.

#include "driver/metadata_cache.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "support/temp_dir.h"

namespace tersify::driver {
namespace {

namespace fs = std::filesystem;

struct Tree {
  test::TempDir dir;
  std::string variables = "CARGO_TARGET_DIR=target\n";
  bool cargo_fails = false;
};

struct Step {
  const char* name;
  std::function<void(Tree&)> change;
  bool runs;  // cargo runs for the answer
};

const Step steps[] = {
    {"the first question", [](Tree&) {}, true},
    {"nothing changed", [](Tree&) {}, false},
    {"a member's manifest changed", [](Tree& t) { t.dir.write("w/crates/b/Cargo.toml", "[package]\nname = \"b\"\n"); },
     true},
    {"a member made under the pattern", [](Tree& t) { t.dir.write("w/crates/c/Cargo.toml", "[package]\n"); }, true},
    {"a Cargo.toml made above the workspace", [](Tree& t) { t.dir.write("Cargo.toml", "[workspace]\n"); }, true},
    {"a cargo configuration made", [](Tree& t) { t.dir.write("w/.cargo/config.toml", "[build]\n"); }, true},
    {"a variable of cargo's changed", [](Tree& t) { t.variables = "CARGO_TARGET_DIR=elsewhere\n"; }, true},
    {"an edit elsewhere", [](Tree& t) { t.dir.write("w/crates/a/src/lib.rs", "// edited\n"); }, false},
    {"a manifest made invalid",
     [](Tree& t) {
       t.dir.write("w/crates/a/Cargo.toml", "[package\n");
       t.cargo_fails = true;
     },
     true},
    {"the same failure again", [](Tree&) {}, true},
    {"the manifest as it was before",
     [](Tree& t) {
       t.cargo_fails = false;
       t.dir.write("w/crates/a/Cargo.toml", "[package]\n");
     },
     false},
    {"entries damaged",
     [](Tree& t) {
       for (const auto& entry : fs::recursive_directory_iterator(t.dir / "cache")) {
         if (entry.is_regular_file()) t.dir.write(fs::relative(entry.path(), t.dir.path()).string(), "garbage");
       }
     },
     true},
    {"nothing changed, last", [](Tree&) {}, false},
};

// cargo's answer for the workspace at `root`: its members under crates/.
std::string answer_for(const std::string& root) {
  std::string packages;
  for (const auto& entry : fs::directory_iterator(root + "/crates")) {
    std::string name = entry.path().filename().string();
    if (!packages.empty()) packages += ",";
    packages += R"({"name":")" + name + R"(","manifest_path":")" + entry.path().string() +
                R"(/Cargo.toml","edition":"2021","id":"x"})";
  }
  return R"({"workspace_root":")" + root + R"(","packages":[)" + packages + "]}";
}

TEST(MetadataCache, CargoRunsAgainWhenWhatDecidesItsAnswerChanges) {
  Tree tree;
  tree.dir.write("w/Cargo.toml", "[workspace]\nmembers = [\"crates/*\"]\n");
  tree.dir.write("w/crates/a/Cargo.toml", "[package]\n");
  tree.dir.write("w/crates/b/Cargo.toml", "[package]\n");
  std::string root = fs::canonical(tree.dir / "w").string();
  const std::string cwd = fs::current_path().string();
  ASSERT_EQ(::chdir(root.c_str()), 0);
  Environment environment = read_environment();
  if (!ToolchainPrograms(environment).identity("cargo", root)) {
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
    GTEST_SKIP() << "the cargo on PATH can't be told without running it";
  }
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    // Later steps build on earlier ones, so they take time stamps of their own.
    usleep(10000);
    step.change(tree);
    environment.cargo_variables = tree.variables;
    MetadataCache cache(tree.dir / "cache", environment);
    int runs = 0;
    auto answer = cache.answer("crates/a/Cargo.toml", [&]() -> Result<std::string> {
      ++runs;
      if (tree.cargo_fails) return fail("error: cargo's own message\n");
      return answer_for(root);
    });
    EXPECT_EQ(runs, step.runs ? 1 : 0);
    if (tree.cargo_fails) {
      EXPECT_EQ(answer.error(), "error: cargo's own message\n");
    } else {
      ASSERT_TRUE(answer);
      EXPECT_NE(answer->find(root + "/crates/b/Cargo.toml"), std::string::npos) << *answer;
    }
  }
  ASSERT_EQ(::chdir(cwd.c_str()), 0);
}

}  // namespace
}  // namespace tersify::driver
