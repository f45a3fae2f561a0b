#include "cargo_tersify/args.h"

#include <gtest/gtest.h>

#include "support/command.h"

namespace tersify {
namespace {

using Paths = std::vector<std::string>;

TEST(ParseArgs, SubcommandWordIsDroppedOnlyInFirstPosition) {
  auto cargo = parse_args({"tersify", "--check"});
  EXPECT_TRUE(cargo.check);
  EXPECT_EQ(cargo.paths, Paths{"."});

  EXPECT_EQ(parse_args({"tersify", "tersify"}).paths, Paths{"tersify"});
  EXPECT_EQ(parse_args({"src", "tersify"}).paths, (Paths{"src", "tersify"}));
}

TEST(ParseArgs, NoArgumentsMeansWriteModeOnTheWorkingDirectory) {
  auto settings = parse_args({});
  EXPECT_FALSE(settings.check);
  EXPECT_FALSE(settings.width_override.has_value());
  EXPECT_EQ(settings.paths, Paths{"."});
}

TEST(ParseArgs, CheckFlagAnywhereAndRepeated) {
  EXPECT_TRUE(parse_args({"src", "--check"}).check);
  auto twice = parse_args({"--check", "a", "--check"});
  EXPECT_TRUE(twice.check);
  EXPECT_EQ(twice.paths, Paths{"a"});
  EXPECT_FALSE(parse_args({"--CHECK"}).check);
  EXPECT_EQ(parse_args({"--CHECK"}).paths, Paths{"--CHECK"});
}

TEST(ParseArgs, WidthValueAndWhatItConsumes) {
  auto plain = parse_args({"--width", "100", "src"});
  EXPECT_EQ(plain.width_override, 100u);
  EXPECT_EQ(plain.paths, Paths{"src"});

  // The word after --width is consumed even when it is not a number.
  auto consumed = parse_args({"--width", "src"});
  EXPECT_FALSE(consumed.width_override.has_value());
  EXPECT_EQ(consumed.paths, Paths{"."});

  auto trailing = parse_args({"src", "--width"});
  EXPECT_FALSE(trailing.width_override.has_value());
  EXPECT_EQ(trailing.paths, Paths{"src"});

  auto first_wins = parse_args({"--width", "80", "--width", "100"});
  EXPECT_EQ(first_wins.width_override, 80u);
  EXPECT_EQ(first_wins.paths, Paths{"."});
}

TEST(ParseArgs, WidthNumberSyntax) {
  auto width = [](std::string value) { return parse_args({"--width", value}).width_override; };
  EXPECT_EQ(width("+80"), 80u);
  EXPECT_EQ(width("0"), 0u);
  EXPECT_EQ(width("007"), 7u);
  EXPECT_EQ(width("18446744073709551615"), UINT64_MAX);
  EXPECT_FALSE(width("18446744073709551616").has_value());
  EXPECT_FALSE(width("99999999999999999999").has_value());
  EXPECT_FALSE(width("-1").has_value());
  EXPECT_FALSE(width("80x").has_value());
  EXPECT_FALSE(width(" 80").has_value());
  EXPECT_FALSE(width("").has_value());
  EXPECT_FALSE(width("+").has_value());
  EXPECT_FALSE(width("-").has_value());
  EXPECT_FALSE(width("++1").has_value());
}

TEST(ParseArgs, OptionLookalikesArePathArguments) {
  auto settings = parse_args({"--width=80", "--help", "-v"});
  EXPECT_FALSE(settings.width_override.has_value());
  EXPECT_EQ(settings.paths, (Paths{"--width=80", "--help", "-v"}));
  EXPECT_EQ(parse_args({"src", "src"}).paths, (Paths{"src", "src"}));
}

TEST(CommandLine, ArgumentThatIsNotUtf8IsRejectedWithOneLine) {
  auto result = test::run_tersify({"bad\xff"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "bad\xEF\xBF\xBD: argument is not valid UTF-8\n");
  EXPECT_EQ(result.out, "");
}

}  // namespace
}  // namespace tersify
