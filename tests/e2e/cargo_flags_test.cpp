// cargo fmt's command line as teams carry it over: packages of a workspace by
// name (--all, -p, --manifest-path), -q and -v, "--check" after "--".

#include <gtest/gtest.h>

#include "e2e/outcome.h"
#include "e2e/project.h"

namespace tersify::test {
namespace {

// A virtual workspace (or one whose root is a package) with members a and
// b; b is of edition 2015, where `async` is an identifier.
void write_workspace(const TempDir& dir, const std::string& at, bool root_package) {
  dir.write(at + "/Cargo.toml", (root_package ? manifest("root", "2021") : "") +
                                    "[workspace]\nmembers = [\"a\", \"b\"]\nresolver = \"2\"\n");
  if (root_package) dir.write(at + "/src/main.rs", messy_source);
  write_package(dir, at + "/a", "a", "2021");
  dir.write(at + "/a/src/lib.rs", messy_source);
  write_package(dir, at + "/b", "b", "2015");
  dir.write(at + "/b/src/lib.rs", "pub fn f() -> u32 {  let async = 1; async }\n");
}

TEST(CargoFlags, AllWithCheckAfterDoubleDashIsCheckAtTheWorkspaceRoot) {
  for (bool root_package : {false, true}) {
    SCOPED_TRACE(root_package ? "root package" : "virtual manifest");
    TempDir dir;
    write_workspace(dir, "w", root_package);
    auto plain = tersify_in(dir / "w", {"--check"});
    EXPECT_EQ(plain.status, 1);
    EXPECT_NE(plain.out.find("would reformat ./b/src/lib.rs\n"), std::string::npos) << plain.out;
    EXPECT_EQ(ended(tersify_in(dir / "w", {"--all", "--", "--check"})), ended(plain));
  }
}

TEST(CargoFlags, PackagesManifestPathQuietAndVerbose) {
  TempDir dir;
  write_workspace(dir, "w", false);
  dir.write("w/rustfmt.toml", "disable_all_formatting = true\n");
  // A package of its own inside member a: not a's to format.
  dir.write("w/a/inner/Cargo.toml", manifest("inner", "2021") + "[workspace]\n");
  dir.write("w/a/inner/src/lib.rs", messy_source);
  const std::string a = "would reformat ./a/src/lib.rs\n";
  const std::string b = "would reformat ./b/src/lib.rs\n";
  const std::string config_unchanged = "<dir>/w/rustfmt.toml: unchanged\n";

  struct Case {
    std::string cwd;  // below dir
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err = "";
  };
  const Case cases[] = {
      // Paths and packages: the union of their files.
      {"w",
       {"b", "-p", "a", "a/src/lib.rs", "--check"},
       1,
       "would reformat a/src/lib.rs\nwould reformat b/src/lib.rs\n"},
      {"w/a/src", {"-p", "b", "--check"}, 1, "would reformat <dir>/w/b/src/lib.rs\n"},
      {"",
       {"--manifest-path", "w/Cargo.toml", "--all", "--check"},
       1,
       "would reformat ./w/a/src/lib.rs\nwould reformat ./w/b/src/lib.rs\n"},
      {"", {"--manifest-path", "w/b/Cargo.toml", "--check"}, 1, "would reformat w/b/src/lib.rs\n"},
      {"w", {"-q", "--check"}, 1, ""},
      {"w", {"--quiet", "-p", "inner", "--", "--check"}, 2, "", "inner: no such package in the workspace\n"},
      // Each file in list order as it is handled, a package's own files only.
      {"w",
       {"--verbose", "-p", "b", "--package", "a", "-p", "b", "--check"},
       1,
       a + b,
       config_unchanged + "./a/src/lib.rs: would reformat\n./b/src/lib.rs: would reformat\n"},
      {"w",
       {"-v", "--check", "a"},
       1,
       "would update <dir>/w/a/inner/rustfmt.toml\nwould reformat a/inner/src/lib.rs\nwould reformat a/src/lib.rs\n",
       "<dir>/w/a/inner/rustfmt.toml: would update\n" + config_unchanged +
           "a/inner/src/lib.rs: would reformat\na/src/lib.rs: would reformat\n"},
      {"", {"--all"}, 2, "", ".: error: could not find `Cargo.toml` in `<dir>` or any parent directory\n"},
  };
  const std::string root = real_path(dir.path());
  auto run_in = [&](const std::string& cwd, const std::vector<std::string>& args) {
    auto result = tersify_in(dir / cwd, args);
    return std::tuple(result.status, comparable(result.out, root), comparable(result.err, root));
  };
  const auto before = snapshot(dir.path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cwd + " " + testing::PrintToString(c.args));
    EXPECT_EQ(run_in(c.cwd, c.args), std::tuple(c.status, c.out, c.err));
  }
  EXPECT_EQ(snapshot(dir.path()), before);

  // A write reports each file as it goes, and touches no other package.
  EXPECT_EQ(run_in("w", {"-v", "-p", "a", "--package", "b"}),
            std::tuple(0, "", config_unchanged + "./a/src/lib.rs: reformatted\n./b/src/lib.rs: reformatted\n"));
  EXPECT_TRUE(formatted(dir.read("w/a/src/lib.rs")));
  EXPECT_EQ(dir.read("w/a/inner/src/lib.rs"), messy_source);
}

}  // namespace
}  // namespace tersify::test
