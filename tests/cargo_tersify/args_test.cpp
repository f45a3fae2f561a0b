#include "cargo_tersify/args.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/command.h"
#include "support/temp_dir.h"

namespace tersify {
namespace {

using Words = std::vector<std::string>;

struct ArgsCase {
  Words words;
  std::string expected;  // the args as shown by `shown`, or the exact failure line
};

std::string shown(const Result<RunArguments>& args) {
  if (!args) return args.error();
  if (args->action == Action::help) return "help";
  if (args->action == Action::version) return "version";
  std::string text = "run";
  if (args->check) text += " check";
  if (args->diff) text += " diff";
  if (args->quiet) text += " quiet";
  if (args->verbose) text += " verbose";
  if (args->all_packages) text += " all";
  for (const auto& name : args->packages) text += " package=" + name;
  if (args->manifest_path) text += " manifest=" + *args->manifest_path;
  if (args->overrides.max_width) text += " width=" + std::to_string(*args->overrides.max_width);
  for (const auto& path : args->paths) text += " [" + path + "]";
  return text;
}

TEST(ParseArgs, WordsToArgumentsOrTheLineToPrint) {
  const ArgsCase cases[] = {
      {{}, "run [.]"},
      {{"tersify", "--check"}, "run check [.]"},
      {{"tersify", "tersify"}, "run [tersify]"},
      {{"src", "tersify"}, "run [src] [tersify]"},
      {{"--check", "a", "--check"}, "run check [a]"},
      {{"--diff", "src"}, "run check diff [src]"},
      {{"src", "src"}, "run [src] [src]"},
      // The width's grammar is both programs' (tests/tersify_rustfmt/filter_args_test.cpp).
      {{"--width", "100", "src"}, "run width=100 [src]"},
      // After "--", as cargo fmt passes words on to rustfmt.
      {{"--all", "--", "--check"}, "run check all"},
      {{"--", "src", "--check", "lib.rs"}, "run check [src] [lib.rs]"},
      {{"--", "--check", "-x"}, "-x: unknown option after --"},
      {{"a", "--", "--"}, "--: unknown option after --"},
      {{"--", "--emit=files"}, "--emit=files: unknown option after --"},
      {{"--", "--help"}, "--help: unknown option after --"},
      // Packages, alone or with paths.
      {{"-p", "a", "--package", "b", "--package=c"}, "run package=a package=b package=c"},
      {{"src", "-p", "a", "--all"}, "run all package=a [src]"},
      {{"-p", "a", "-p", "a"}, "run package=a package=a"},
      {{"-p", "--check"}, "run package=--check"},
      {{"-p"}, "-p: expected a package name"},
      {{"--package="}, "--package=: expected a package name"},
      {{"--package", ""}, "--package : expected a package name"},
      {{"-pa"}, "-pa: unknown option"},
      // A manifest path alone stands for its folder.
      {{"--manifest-path", "w/Cargo.toml"}, "run manifest=w/Cargo.toml [w]"},
      {{"--manifest-path=Cargo.toml"}, "run manifest=Cargo.toml [.]"},
      {{"--manifest-path", "/w/Cargo.toml", "-p", "a"}, "run package=a manifest=/w/Cargo.toml"},
      {{"--manifest-path", "w/Cargo.toml", "src"}, "run manifest=w/Cargo.toml [src]"},
      {{"--manifest-path", "w"}, "--manifest-path w: expected the path of a Cargo.toml"},
      {{"--manifest-path", "w/cargo.toml"}, "--manifest-path w/cargo.toml: expected the path of a Cargo.toml"},
      {{"--manifest-path"}, "--manifest-path: expected the path of a Cargo.toml"},
      {{"--manifest-path", "a/Cargo.toml", "--manifest-path=b/Cargo.toml"},
       "--manifest-path=b/Cargo.toml: only one manifest path may be given"},
      // Quiet and verbose speak of different streams.
      {{"-q", "--check"}, "run check quiet [.]"},
      {{"--quiet", "-v", "--verbose"}, "run quiet verbose [.]"},
      {{"--diff", "-q"}, "--quiet: can't be combined with --diff"},
      {{"-qv"}, "-qv: unknown option"},
      {{"--help", "--frobnicate"}, "help"},
      {{"tersify", "-h"}, "help"},
      {{"--version"}, "version"},
      {{"src", "-V"}, "version"},
      {{"--frobnicate"}, "--frobnicate: unknown option"},
      {{"--CHECK"}, "--CHECK: unknown option"},
      {{"-"}, "-: unknown option"},
      {{"src", "-v"}, "run verbose [src]"},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const auto& word : c.words) joined += "'" + word + "' ";
    EXPECT_EQ(shown(parse_args(c.words)), c.expected) << joined;
  }
}

// What the built tool answers, and that none of these runs touches a file.
TEST(CommandLine, StatusAndLineOfEachKindOfCommandLine) {
  test::TempDir dir;
  dir.write("Cargo.toml", "[package]\nname = \"p\"\nversion = \"0.1.0\"\nedition = \"2021\"\n");
  dir.write("src/main.rs", "fn  main( ){}\n");
  dir.write("fifo/Cargo.toml", "[package]\nname = \"f\"\nversion = \"0.1.0\"\n");
  dir.write("fifo/src/lib.rs", "");
  ASSERT_EQ(::mkfifo((dir / "fifo/rustfmt.toml").c_str(), 0644), 0);
  struct Case {
    Words args;
    int status;
    std::string out_start;  // standard output starts with this
    std::string err;
  };
  const Case cases[] = {
      {{"--help"}, 0, "Formats Rust sources", ""},
      {{"tersify", "-h", "nosuchdir"}, 0, "Formats Rust sources", ""},
      {{"--version"}, 0, "cargo-tersify 0.", ""},
      {{"--check", "nosuchdir"}, 2, "", "nosuchdir: No such file or directory (os error 2)\n"},
      {{"src", "nosuchdir"}, 2, "", "nosuchdir: No such file or directory (os error 2)\n"},
      {{"--frobnicate"}, 2, "", "--frobnicate: unknown option\n"},
      {{"--", "--emit", "files"}, 2, "", "--emit: unknown option after --\n"},
      {{"-p", "p", "-p", "nosuch"}, 2, "", "nosuch: no such package in the workspace\n"},
      {{"--all", "--manifest-path", "nosuch/Cargo.toml"},
       2,
       "",
       "nosuch/Cargo.toml: No such file or directory (os error 2)\n"},
      {{"--manifest-path", "nosuch/Cargo.toml"}, 2, "", "nosuch/Cargo.toml: No such file or directory (os error 2)\n"},
      {{"--width", "0", "--check"}, 2, "", "--width 0: expected an integer from 1 up\n"},
      {{"--check", "fifo"}, 2, "", dir / "fifo/rustfmt.toml: not a regular file\n"},
      {{"bad\xff"}, 2, "", "bad\xEF\xBF\xBD: argument is not valid UTF-8\n"},
  };
  test::CommandOptions options;
  options.cwd = dir.path();
  for (const auto& c : cases) {
    auto result = test::run_tersify(c.args, options);
    EXPECT_EQ(result.status, c.status) << c.args.front();
    EXPECT_TRUE(result.out.starts_with(c.out_start)) << result.out;
    EXPECT_EQ(result.err, c.err);
    EXPECT_FALSE(dir.exists("rustfmt.toml")) << c.args.front();
    EXPECT_EQ(dir.read("src/main.rs"), "fn  main( ){}\n");
  }
}

}  // namespace
}  // namespace tersify
