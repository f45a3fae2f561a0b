#pragma once
// Test support: the whole outcome of a run of cargo-tersify in a folder
// (every file and link of the tree, standard output, standard error, exit
// status), and the comparison of two outcomes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "e2e/project.h"
#include "support/tree.h"

namespace tersify::test {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  std::map<std::string, std::string> tree;
};

inline std::string real_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  std::string result = resolved ? resolved : path;
  std::free(resolved);
  return result;
}

// Output that names the run's own folder is made comparable.
inline std::string comparable(std::string text, const std::string& dir) {
  for (std::size_t at; (at = text.find(dir)) != std::string::npos;) text.replace(at, dir.size(), "<dir>");
  return text;
}

// Runs the tool with `args` in `dir` and takes its outcome.
inline Outcome outcome_in(const std::string& dir, const std::vector<std::string>& args, CommandOptions options) {
  auto result = tersify_in(dir, args, std::move(options));
  std::string real = real_path(dir);
  return {result.status, comparable(result.out, real), comparable(result.err, real), snapshot(dir)};
}

inline void expect_same(const Outcome& want, const Outcome& got) {
  EXPECT_EQ(got.status, want.status);
  EXPECT_EQ(got.out, want.out);
  EXPECT_EQ(got.err, want.err);
  EXPECT_EQ(got.tree.size(), want.tree.size());
  for (const auto& [path, bytes] : want.tree) {
    auto found = got.tree.find(path);
    if (found == got.tree.end()) {
      ADD_FAILURE() << path << " is missing";
    } else if (found->second != bytes) {
      ADD_FAILURE() << path << " differs";
    }
  }
}

}  // namespace tersify::test
