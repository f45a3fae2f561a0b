#include "util/upward_search.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace tersify {
namespace {

// Folders that hold something, as a stand-in file system; every look is
// counted, and each folder must be looked at once whatever the order of the
// searches, with the answers of a plain walk up.
TEST(UpwardSearch, EachFolderLookedAtOnceWithThePlainWalksAnswers) {
  const std::set<std::string> holding = {"/w", "/w/a/b"};
  std::map<std::string, int> looks;
  UpwardSearch search([&](const std::string& folder) -> std::optional<std::string> {
    ++looks[folder];
    if (holding.contains(folder)) return folder + "/found";
    return std::nullopt;
  });
  const std::map<std::string, std::optional<std::string>> cases = {
      {"/w/a/b/c/d", "/w/a/b/found"}, {"/w/a/b/c", "/w/a/b/found"}, {"/w/a/b", "/w/a/b/found"},
      {"/w/a/x", "/w/found"},         {"/w/a", "/w/found"},         {"/w", "/w/found"},
      {"/v/y", std::nullopt},         {"/v", std::nullopt},
  };
  for (int round = 0; round < 2; ++round) {
    for (const auto& [path, expected] : cases) EXPECT_EQ(search.nearest(path), expected) << path;
  }
  for (const auto& [folder, count] : looks) EXPECT_EQ(count, 1) << folder;
  EXPECT_EQ(looks.size(), 9u);  // the eight paths' folders and "/"
}

}  // namespace
}  // namespace tersify
