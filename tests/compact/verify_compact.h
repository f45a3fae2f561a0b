#pragma once
// verify_compact(expected, input, width): compacts `input` and compares, with
// the caller's file and line in the failure report.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "compact/compact.h"

namespace tersify::compact::test {

inline void verify_compact_at(const char* file, int line, std::string_view expected, std::string_view input,
                              std::size_t width) {
  ::testing::ScopedTrace trace(file, line, "verify_compact");
  EXPECT_EQ(std::string(expected), compact(input, width)) << "input:\n" << input;
}

}  // namespace tersify::compact::test

#define verify_compact(expected, input, width) \
  ::tersify::compact::test::verify_compact_at(__FILE__, __LINE__, expected, input, width)
