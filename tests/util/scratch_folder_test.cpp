#include "util/scratch_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support/temp_dir.h"
#include "util/temp_file_registry.h"

namespace tersify {
namespace {

// A folder and what was written in it go with the owner; one left by a
// process that is gone goes with the first creation of a later process,
// while one of a live process, or a file of that name, stays.
TEST(ScratchFolder, GoesWithItsOwnerAndWhatADeadProcessLeftGoesNext) {
  test::TempDir root;
  pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
  const std::string left = "s-" + std::to_string(dead) + "-abc";
  root.write(left + "/0.rs", "fn a() {}\n");
  const std::string live = "s-" + std::to_string(::getpid()) + "-abc/0.rs";
  root.write(live, "fn b() {}\n");
  const std::string file = "s-" + std::to_string(dead) + "-file";
  root.write(file, "");

  std::string path;
  {
    auto folder = ScratchFolder::create(root.path(), "s-");
    ASSERT_TRUE(folder) << folder.error();
    path = folder->path();
    EXPECT_EQ(path.rfind(root.path(), 0), 0u) << path;
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_TRUE(folder->write("0.rs", "fn c() {}\n"));
    EXPECT_FALSE(root.exists(left)) << "a dead process's folder stays";
    EXPECT_TRUE(root.exists(live));
    EXPECT_TRUE(root.exists(file));
  }
  EXPECT_NE(::access(path.c_str(), F_OK), 0) << "the folder outlived its owner";
}

// What a fatal signal's handler does: the folder in use goes, files and all.
TEST(ScratchFolder, TheSignalHandlersCleanupTakesAFolderInUse) {
  test::TempDir root;
  auto folder = ScratchFolder::create(root.path(), "s-");
  ASSERT_TRUE(folder) << folder.error();
  ASSERT_TRUE(folder->write("0.rs", "fn a() {}\n"));
  ASSERT_TRUE(folder->write("1.rs", ""));
  remove_noted_temp_files();
  EXPECT_NE(::access(folder->path().c_str(), F_OK), 0);
}

}  // namespace
}  // namespace tersify
