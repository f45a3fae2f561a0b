#include "util/text.h"

#include <gtest/gtest.h>

#include <string>

namespace tersify {
namespace {

TEST(Utf8, ValidityFollowsTheStandard) {
  EXPECT_TRUE(is_valid_utf8(""));
  EXPECT_TRUE(is_valid_utf8("plain \xc3\xa9 \xe2\x82\xac \xf0\x9f\xa6\x80"));
  EXPECT_FALSE(is_valid_utf8("\xc0\xaf"));          // overlong
  EXPECT_FALSE(is_valid_utf8("\xed\xa0\x80"));      // surrogate
  EXPECT_FALSE(is_valid_utf8("\xf4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(is_valid_utf8("\xe2\x82"));          // truncated
  EXPECT_FALSE(is_valid_utf8("\x80"));

  // ASCII is looked at several bytes at a time: a sequence is judged the
  // same wherever it falls among them.
  for (std::size_t at = 0; at <= 20; ++at) {
    std::string ascii(24, 'a');
    EXPECT_FALSE(is_valid_utf8(std::string(ascii).insert(at, "\x80"))) << at;
    EXPECT_FALSE(is_valid_utf8(std::string(ascii).insert(at, "\xe2\x82"))) << at;
    EXPECT_TRUE(is_valid_utf8(std::string(ascii).insert(at, "\xe2\x82\xac"))) << at;
    EXPECT_FALSE(is_valid_utf8(ascii.substr(0, at) + "\xc3")) << at;
  }
}

TEST(Utf8, LossyDecodingReplacesMaximalSubparts) {
  // Like Rust's from_utf8_lossy: one U+FFFD per maximal invalid subpart.
  EXPECT_EQ(lossy_utf8("a\xe2\x82z"), "a\xEF\xBF\xBDz");
  EXPECT_EQ(lossy_utf8("\xff\xfe"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(lossy_utf8("\xf0\x9f\xa6"), "\xEF\xBF\xBD");
  EXPECT_EQ(lossy_utf8("\xed\xa0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(lossy_utf8("ok \xc3\xa9"), "ok \xc3\xa9");
}

TEST(Whitespace, TrimsUnicodeWhiteSpaceOnly) {
  EXPECT_EQ(trim_whitespace(" \t\r\n\v\f x \xc2\xa0"), "x");
  EXPECT_EQ(trim_whitespace("\xe3\x80\x80x\xe2\x80\xa8"), "x");  // ideographic space, line separator
  EXPECT_EQ(trim_start_whitespace("\xc2\x85" "a "), "a ");       // next line
  EXPECT_EQ(trim_end_whitespace(" a\xe2\x80\x89"), " a");         // thin space
  // U+200B ZERO WIDTH SPACE is not White_Space.
  EXPECT_EQ(trim_whitespace("\xe2\x80\x8bx"), "\xe2\x80\x8bx");
  EXPECT_EQ(trim_whitespace("   "), "");
  EXPECT_EQ(trim_end_whitespace("\xc3\xa9"), "\xc3\xa9");
}

}  // namespace
}  // namespace tersify
