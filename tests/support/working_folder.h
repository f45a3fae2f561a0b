#pragma once
// Test support: the process works in another folder while the owner lives,
// as a user who runs the tool from there; the folder it left is taken up
// again however the test ends.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "util/fd.h"

namespace tersify::test {

class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& folder) : before_(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    EXPECT_EQ(::chdir(folder.c_str()), 0) << folder;
  }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;
  ~WorkingFolder() { EXPECT_EQ(::fchdir(before_.get()), 0); }

 private:
  Fd before_;
};

}  // namespace tersify::test
