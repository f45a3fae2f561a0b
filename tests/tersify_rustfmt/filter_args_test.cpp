// The filter's command line in process, and the width read by one grammar
// in both programs.

#include "tersify_rustfmt/filter_args.h"

#include <gtest/gtest.h>

#include "cargo_tersify/args.h"

namespace tersify {
namespace {

using Words = std::vector<std::string>;

struct ArgsCase {
  Words words;
  std::string expected;  // the arguments as shown by `shown`, or the exact failure line
};

std::string joined(const Words& words) {
  std::string text;
  for (const auto& word : words) text += "'" + word + "' ";
  return text;
}

std::string shown(const Result<FilterArguments>& args) {
  if (!args) return args.error();
  if (args->action == Action::help) return "help";
  if (args->action == Action::version) return "version";
  std::string text = "run";
  if (args->overrides.edition) text += " edition=" + *args->overrides.edition;
  if (args->overrides.max_width) text += " width=" + std::to_string(*args->overrides.max_width);
  if (args->file_name) text += " file=" + *args->file_name;
  return text;
}

TEST(ParseFilterArgs, WordsToArgumentsOrTheLineToPrint) {
  const ArgsCase cases[] = {
      {{}, "run"},
      // What editors pass to rustfmt changes nothing.
      {{"--quiet"}, "run"},
      {{"-q", "--emit", "stdout", "--emit=stdout"}, "run"},
      {{"--edition", "2021"}, "run edition=2021"},
      {{"-q", "--emit=stdout", "--edition=2024"}, "run edition=2024"},
      {{"--edition", "2015", "--edition", "2018"}, "run edition=2018"},
      {{"--stdin-filename", "src/a b.rs", "--width=80"}, "run width=80 file=src/a b.rs"},
      {{"--stdin-filename=-q"}, "run file=-q"},
      {{"--help", "--frobnicate"}, "help"},
      {{"-q", "-h"}, "help"},
      {{"--version"}, "version"},
      {{"--frobnicate", "--help"}, "--frobnicate: unsupported argument"},
      {{"--check"}, "--check: unsupported argument"},
      {{"-q", "src/lib.rs"}, "src/lib.rs: unsupported argument"},
      {{"--emit", "files"}, "--emit files: only stdout is supported"},
      {{"--emit=files"}, "--emit=files: only stdout is supported"},
      {{"--emit"}, "--emit: missing value"},
      {{"--edition"}, "--edition: missing value"},
      {{"--edition="}, "--edition=: missing value"},
      {{"--stdin-filename", ""}, "--stdin-filename : missing value"},
  };
  for (const auto& c : cases) EXPECT_EQ(shown(parse_filter_args(c.words)), c.expected) << joined(c.words);
}

// The width in either program, or the line either prints.
template <typename Args>
std::string width_of(const Result<Args>& args) {
  if (!args) return args.error();
  return args->overrides.max_width ? std::to_string(*args->overrides.max_width) : "none";
}

TEST(WidthOption, BothProgramsReadItAlike) {
  const ArgsCase cases[] = {
      {{}, "none"},
      {{"--width", "100"}, "100"},
      {{"--width=80"}, "80"},
      {{"--width", "+80"}, "80"},
      {{"--width", "007"}, "7"},
      {{"--width", "18446744073709551615"}, "18446744073709551615"},
      {{"--width", "0"}, "--width 0: expected an integer from 1 up"},
      {{"--width", "-1"}, "--width -1: expected an integer from 1 up"},
      {{"--width", "80x"}, "--width 80x: expected an integer from 1 up"},
      {{"--width", ""}, "--width : expected an integer from 1 up"},
      {{"--width", "18446744073709551616"}, "--width 18446744073709551616: expected an integer from 1 up"},
      {{"--width=0"}, "--width=0: expected an integer from 1 up"},
      {{"--width="}, "--width=: expected an integer from 1 up"},
      {{"--width"}, "--width: expected an integer from 1 up"},
      {{"--width", "80", "--width", "x"}, "--width x: expected an integer from 1 up"},
      {{"--width", "80", "--width", "100"}, "--width 100: only one width may be given"},
      {{"--width=80", "--width=80"}, "--width=80: only one width may be given"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(width_of(parse_args(c.words)), c.expected) << "cargo-tersify " << joined(c.words);
    EXPECT_EQ(width_of(parse_filter_args(c.words)), c.expected) << "tersify-rustfmt " << joined(c.words);
  }
}

}  // namespace
}  // namespace tersify
