// The README's format-on-save recipes, run in the real editors without a
// terminal: a save formats the buffer as cargo tersify writes the file (its
// member's width and edition, whatever the editor's working folder), a
// formatter failure saves the buffer as the user wrote it, and a path with a
// space and a "'" works. Each editor runs under a timeout, so that a recipe
// that waits for input fails instead of hanging.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e/project.h"
#include "support/tools.h"

namespace tersify::test {
namespace {

// The first code block of the README that opens with "```{language}".
std::string readme_block(const std::string& language) {
  std::ifstream in(std::string(TERSIFY_SOURCE_DIR) + "/README.md");
  std::stringstream text;
  text << in.rdbuf();
  std::string readme = text.str();
  auto open = readme.find("\n```" + language + "\n");
  if (open == std::string::npos) return "";
  auto start = open + language.size() + 5;
  return readme.substr(start, readme.find("\n```\n", start) + 1 - start);
}

// An editor's command line up to the file: it opens the file, adds a line to
// the buffer, saves and quits. "{recipe}" stands for the recipe's path, which
// is `config` below $XDG_CONFIG_HOME (where Kakoune looks for its kakrc; it
// takes the Rust filetype and format-buffer from its own scripts).
struct Editor {
  const char* recipe;  // the README block's language
  std::string config;
  std::vector<std::string> command;
};

const Editor editors[] = {
    {"vim",
     "vimrc",
     {"vim", "-Es", "-N", "-u", "{recipe}", "-i", "NONE", "--noplugin", "-c", "$put ='// saved'", "-c", "wq"}},
    {"vim",
     "init.vim",
     {"nvim", "--headless", "-u", "{recipe}", "-i", "NONE", "--noplugin", "-c", "$put ='// saved'", "-c", "wq"}},
    {"kak", "kak/kakrc", {"kak", "-ui", "dummy", "-e", "execute-keys %{geo// saved<esc>}; write; quit!"}},
};

TEST(Editors, SaveFormatsAsCargoTersifyWritesOrKeepsTheBufferOnAFailure) {
  TempDir dir;
  // A member of edition 2015 (where `async` is an identifier) with a width of
  // its own, in a folder whose name needs quoting.
  const std::string member = "w/it's a member";
  dir.write("w/Cargo.toml", "[workspace]\nmembers = [\"it's a member\"]\nresolver = \"2\"\n");
  write_package(dir, member, "member", "2015");
  dir.write(member + "/rustfmt.toml", "max_width = 60\n");
  const std::string source = std::string("pub fn f() -> u32 { let async = 1; async }\n") + long_call;
  const std::string broken = "fn broken( {\n  let x=1;\n";

  // What cargo tersify writes for the buffer as saved.
  dir.write(member + "/src/lib.rs", source);
  dir.write(member + "/src/expected.rs", source + "// saved\n");
  auto written = tersify_in(dir / member, {"src/expected.rs"});
  ASSERT_EQ(written.status, 0) << written.err;
  const std::string expected = dir.read(member + "/src/expected.rs");
  ASSERT_LE(longest_line(expected), 60u) << expected;
  ASSERT_NE(expected.find("let async = 1;"), std::string::npos) << expected;

  dir.mkdir("elsewhere");
  CommandOptions options;
  options.cwd = dir / "elsewhere";
  options.env = {"XDG_CONFIG_HOME=" + dir / "home/.config"};
  options.path_prefix = std::filesystem::path(TERSIFY_FILTER_BINARY).parent_path();
  for (const auto& editor : editors) {
    const std::string& program = editor.command.front();
    SCOPED_TRACE(program);
    if (find_program(program).empty()) {
      ADD_FAILURE() << program << " is not installed (scripts/install-deps.sh --test installs it)";
      continue;
    }
    const std::string recipe = readme_block(editor.recipe);
    ASSERT_FALSE(recipe.empty());
    dir.write("home/.config/" + editor.config, recipe);
    for (const auto& [name, text, saved] :
         {std::tuple{"lib.rs", source, expected}, {"broken.rs", broken, broken + "// saved\n"}}) {
      SCOPED_TRACE(name);
      const std::string file = member + "/src/" + name;
      dir.write(file, text);
      std::vector<std::string> argv{"timeout", "-s", "KILL", "20"};
      for (const auto& word : editor.command)
        argv.push_back(word == "{recipe}" ? dir / ("home/.config/" + editor.config) : word);
      argv.push_back(dir / file);
      auto result = run_command(argv, options);
      EXPECT_EQ(result.status, 0) << result.err;
      EXPECT_EQ(dir.read(file), saved);
    }
  }
}

}  // namespace
}  // namespace tersify::test
