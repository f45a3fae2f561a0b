#include "driver/rustfmt_toml.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

#include "support/temp_dir.h"
#include "support/tools.h"

namespace tersify::driver {

void PrintTo(const ConfigFile& file, std::ostream* out) {
  *out << "{" << file.path << ", owner " << file.owner << ", template " << file.template_file << "}";
}

namespace {

using test::TempDir;

// A file of the folder `owner`, made from nothing when missing.
std::vector<ConfigFile> own(const std::string& path, const std::string& owner) { return {{path, owner, ""}}; }

template <typename Files>
std::vector<std::string> paths_of(const Files& files) {
  std::vector<std::string> paths;
  for (const auto& file : files) paths.push_back(file.path);
  return paths;
}

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
      {"\"\u00e9\" = \"\u00e9\"\ndisable_all_formatting = 0 # \u00e9\n",
       "\"\u00e9\" = \"\u00e9\"\ndisable_all_formatting = true # \u00e9\n"},
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
    auto files = own(dir / "rustfmt.toml", dir.path());
    if (*c.old_text != '\0') dir.write("rustfmt.toml", c.old_text);
    std::vector<ConfigUpdate> updates;

    ASSERT_TRUE(disable_formatting(files, true, updates));
    ASSERT_EQ(paths_of(updates), paths_of(files));
    EXPECT_EQ(updates[0].old_text, c.old_text);
    EXPECT_EQ(updates[0].new_text, c.new_text);
    EXPECT_EQ(dir.exists("rustfmt.toml"), *c.old_text != '\0') << "check mode wrote";

    updates.clear();
    ASSERT_TRUE(disable_formatting(files, false, updates));
    EXPECT_EQ(paths_of(updates), paths_of(files));
    EXPECT_EQ(dir.read("rustfmt.toml"), c.new_text);

    // A second run finds nothing to do.
    updates.clear();
    ASSERT_TRUE(disable_formatting(files, false, updates));
    EXPECT_TRUE(updates.empty());
  }
}

TEST(DisableFormatting, LeavesACorrectFileAlone) {
  for (const char* text : {"disable_all_formatting = true\n", "x = 1\n disable_all_formatting = true   # yes\r\n",
                           "disable_all_formatting = true", "\"disable_all_formatting\"=true\n[t]\n"}) {
    TempDir dir;
    dir.write("rustfmt.toml", text);
    std::vector<ConfigUpdate> updates;
    ASSERT_TRUE(disable_formatting(own(dir / "rustfmt.toml", dir.path()), false, updates));
    EXPECT_TRUE(updates.empty());
    EXPECT_EQ(dir.read("rustfmt.toml"), text);
  }
}

TEST(DisableFormatting, ReadAndWriteFailuresNameTheConfigPath) {
  TempDir dir;
  std::vector<ConfigUpdate> updates;
  auto disable = [&](const char* path, bool check) {
    return disable_formatting(own(dir / path, dir.path()), check, updates);
  };

  dir.write("bad/rustfmt.toml", "max_width = 9\xff\n");
  auto invalid = disable("bad/rustfmt.toml", false);
  ASSERT_FALSE(invalid);
  EXPECT_EQ(invalid.error(), dir / "bad/rustfmt.toml: stream did not contain valid UTF-8");

  dir.mkdir("dir/rustfmt.toml");
  auto directory = disable("dir/rustfmt.toml", true);
  ASSERT_FALSE(directory);
  EXPECT_EQ(directory.error(), dir / "dir/rustfmt.toml: Is a directory (os error 21)");

  // Missing is no read failure, but the write below a missing directory is,
  // and only in write mode.
  ASSERT_TRUE(disable("missing/rustfmt.toml", true));
  auto unwritable = disable("missing/rustfmt.toml", false);
  ASSERT_FALSE(unwritable);
  EXPECT_EQ(unwritable.error(), dir / "missing/rustfmt.toml: No such file or directory (os error 2)");
  EXPECT_EQ(paths_of(updates), (std::vector<std::string>{dir / "missing/rustfmt.toml", dir / "missing/rustfmt.toml"}));
}

// A configuration that rustfmt would refuse, or a write that a link would
// carry out of the project, fails the run before any file is touched: the
// new a/rustfmt.toml that comes first is not made either.
TEST(DisableFormatting, ARefusalComesBeforeAnyWrite) {
  struct Case {
    const char* text;       // of pkg/rustfmt.toml; nullptr: none
    const char* link;       // pkg/rustfmt.toml a link to this, below the temporary folder
    const char* templated;  // the text of its template, above.toml
    std::string message;    // after the temporary folder
  };
  const Case cases[] = {
      {"max_width = \"120\"\n", nullptr, nullptr, "/pkg/rustfmt.toml: max_width: expected an unsigned integer"},
      {"max_width = 40\nmax_width = 50\n", nullptr, nullptr,
       "/pkg/rustfmt.toml: invalid TOML at line 2, column 13: Error while parsing key-value pair: cannot redefine "
       "existing integer 'max_width'"},
      {nullptr, nullptr, "hard_tabs = 1\n", "/above.toml: hard_tabs: expected a boolean"},
      {nullptr, "outside/app.toml", nullptr,
       "/pkg/rustfmt.toml: a symbolic link to {}/outside/app.toml, which lies outside {}/pkg"},
      {nullptr, "outside/new.toml", nullptr,
       "/pkg/rustfmt.toml: a symbolic link to {}/outside/new.toml, which lies outside {}/pkg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    TempDir dir;
    dir.mkdir("a");
    dir.write("outside/app.toml", "max_width = 80\n");
    if (c.text) dir.write("pkg/rustfmt.toml", c.text);
    if (c.link) dir.symlink(dir / c.link, "pkg/rustfmt.toml");
    if (c.templated) dir.write("above.toml", c.templated);
    std::vector<ConfigFile> files{{dir / "a/rustfmt.toml", dir / "a", ""},
                                  {dir / "pkg/rustfmt.toml", dir / "pkg", c.templated ? dir / "above.toml" : ""}};
    std::string message = c.message;
    for (auto at = message.find("{}"); at != std::string::npos; at = message.find("{}"))
      message.replace(at, 2, dir.path());
    for (bool check : {true, false}) {
      std::vector<ConfigUpdate> updates;
      auto done = disable_formatting(files, check, updates);
      ASSERT_FALSE(done);
      EXPECT_EQ(done.error(), dir.path() + message);
      EXPECT_TRUE(updates.empty());
      EXPECT_FALSE(dir.exists("a/rustfmt.toml"));
      if (c.text) {
        EXPECT_EQ(dir.read("pkg/rustfmt.toml"), c.text);
      }
      EXPECT_EQ(dir.read("outside/app.toml"), "max_width = 80\n");
      EXPECT_FALSE(dir.exists("outside/new.toml")) << "a dangling link made a file outside";
    }
  }

  // A link within its owner is written through, and stays a link.
  TempDir dir;
  dir.write("pkg/shared/fmt.toml", "max_width = 80\n");
  dir.symlink("shared/fmt.toml", "pkg/rustfmt.toml");
  std::vector<ConfigUpdate> updates;
  ASSERT_TRUE(disable_formatting(own(dir / "pkg/rustfmt.toml", dir / "pkg"), false, updates));
  EXPECT_EQ(dir.read("pkg/shared/fmt.toml"), "max_width = 80\ndisable_all_formatting = true\n");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "pkg/rustfmt.toml"));
}

// Only the files of the run count: an argument that lists no Rust file
// (README.md, an empty folder, a package without sources) touches nothing.
TEST(ConfigPaths, OnePerPackageOfTheListedFilesSortedWithoutDuplicates) {
  TempDir dir;
  dir.write("pkg/Cargo.toml", "");
  dir.write("pkg/src/lib.rs", "");
  dir.write("pkg/src/nested/mod.rs", "");
  dir.write("pkg/README.md", "");
  dir.write("loose/a.rs", "");
  dir.write("loose/b/c.rs", "");
  dir.write("other/Cargo.toml", "");
  dir.mkdir("empty");

  const std::vector<std::string> arguments{dir / "pkg/src/nested", dir / "other",    dir / "pkg/README.md",
                                           dir / "loose/b",        dir / "empty",    dir / "pkg",
                                           dir / "loose/a.rs",     dir / "pkg/src//"};
  EXPECT_EQ(
      paths_of(config_files_to_disable(arguments,
                                       {dir / "loose/a.rs", dir / "loose/b/c.rs", dir / "pkg/src//lib.rs",
                                        dir / "pkg/src/lib.rs", dir / "pkg/src/nested/mod.rs"},
                                       Environment{})),
      (std::vector<std::string>{dir / "loose/b/rustfmt.toml", dir / "loose/rustfmt.toml", dir / "pkg/rustfmt.toml"}));
  EXPECT_TRUE(config_files_to_disable(arguments, {}, Environment{}).empty());
  // Outside every package, the argument a file was found below owns it.
  EXPECT_EQ(config_files_to_disable({dir / "loose"}, {dir / "loose/b/c.rs"}, Environment{}),
            (std::vector<ConfigFile>{{dir / "loose/rustfmt.toml", dir / "loose", ""}}));
}

TEST(ConfigPaths, ResolvesLinks) {
  TempDir dir;
  dir.write("pkg/Cargo.toml", "");
  dir.write("pkg/src/lib.rs", "");
  dir.symlink(dir / "pkg/src", "elsewhere/src-link");
  // The link's real place decides the package, not the lexical parent.
  EXPECT_EQ(paths_of(config_files_to_disable({dir / "elsewhere/src-link"}, {dir / "elsewhere/src-link/lib.rs"},
                                             Environment{})),
            std::vector<std::string>{dir / "pkg/rustfmt.toml"});
}

// The file rustfmt reads for each listed file, from its folder up to the
// workspace root, .rustfmt.toml first; else a new one that starts from what
// rustfmt reads above, in the home folder or in the configuration folder.
TEST(ConfigPaths, TheConfigRustfmtReadsForEveryListedFileWithinItsWorkspace) {
  TempDir dir;
  Environment user;
  user.home = dir / "home";
  user.config_home = dir / "config";
  dir.write("ws/Cargo.toml", "[workspace]\nmembers = [\"a\", \"b\", \"c\"]\n");
  dir.write("ws/rustfmt.toml", "max_width = 60\n");
  dir.write("ws/a/Cargo.toml", "[package]\n");
  dir.write("ws/a/.rustfmt.toml", "");
  dir.write("ws/a/rustfmt.toml", "");
  dir.write("ws/b/Cargo.toml", "[package]\n");
  dir.write("ws/c/Cargo.toml", "[package]\n");
  dir.write("ws/c/src/.rustfmt.toml", "");  // below the root, read for the files under it
  dir.write("above/rustfmt.toml", "max_width = 70\n");
  dir.write("above/alone/Cargo.toml", "[package]\n");
  dir.write("bare/Cargo.toml", "[workspace]\nmembers = [\"m\"]\n");
  dir.write("bare/m/Cargo.toml", "[package]\n");
  dir.write("config/rustfmt/rustfmt.toml", "");
  const std::string ws = dir / "ws";
  std::vector<ConfigUpdate> updates;

  EXPECT_EQ(
      config_files_to_disable(
          {ws},
          {ws + "/a/src/lib.rs", ws + "/b/src/lib.rs", ws + "/c/build.rs", ws + "/c/src/lib.rs", ws + "/c/src/x/y.rs"},
          user),
      (std::vector<ConfigFile>{
          {ws + "/a/.rustfmt.toml", ws, ""}, {ws + "/c/src/.rustfmt.toml", ws, ""}, {ws + "/rustfmt.toml", ws, ""}}));
  // A new file changes no setting: it starts as a copy of the one it hides.
  auto alone = config_files_to_disable({dir / "above/alone"}, {dir / "above/alone/src/lib.rs"}, user);
  EXPECT_EQ(
      alone,
      (std::vector<ConfigFile>{{dir / "above/alone/rustfmt.toml", dir / "above/alone", dir / "above/rustfmt.toml"}}));
  ASSERT_TRUE(disable_formatting(alone, false, updates));
  EXPECT_EQ(dir.read("above/alone/rustfmt.toml"), "max_width = 70\ndisable_all_formatting = true\n");
  EXPECT_TRUE(updates.at(0).created);
  // A new file goes to a workspace root that the run covers, else to the
  // package root; without a file above, the user's configuration folder's.
  const ConfigFile member{dir / "bare/m/rustfmt.toml", dir / "bare", dir / "config/rustfmt/rustfmt.toml"};
  EXPECT_EQ(config_files_to_disable({dir / "bare/m"}, {dir / "bare/m/src/lib.rs"}, user),
            std::vector<ConfigFile>{member});
  dir.write("home/.rustfmt.toml", "");
  EXPECT_EQ(config_files_to_disable({dir / "bare"}, {dir / "bare/m/src/lib.rs"}, user),
            (std::vector<ConfigFile>{{dir / "bare/rustfmt.toml", dir / "bare", dir / "home/.rustfmt.toml"}}));
}

}  // namespace
}  // namespace tersify::driver
