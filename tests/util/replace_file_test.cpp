#include "util/replace_file.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "support/tree.h"
#include "util/file_place.h"

namespace tersify {
namespace {

struct stat stat_of(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

// What a replacement keeps of the file it replaces, the way it names it.
TEST(ReplaceFile, KeepsModeLinksAndLeavesNothingBeside) {
  struct Case {
    const char* name;
    void (*set_up)(const test::TempDir& dir);
    std::string path;     // given to replace_file
    std::string written;  // where the new text lands
  };
  const Case cases[] = {
      {"mode bits", [](const test::TempDir& d) { ::chmod((d / "f.rs").c_str(), 0751); }, "f.rs", "f.rs"},
      {"symbolic link", [](const test::TempDir& d) { d.symlink("real/f.rs", "link.rs"); }, "link.rs", "real/f.rs"},
      {"linked folder", [](const test::TempDir& d) { d.symlink("real", "via"); }, "via/f.rs", "real/f.rs"},
      {"hard link", [](const test::TempDir& d) { ::link((d / "f.rs").c_str(), (d / "g.rs").c_str()); }, "f.rs",
       "g.rs"},
      {"new file", [](const test::TempDir&) {}, "new.rs", "new.rs"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    dir.write("f.rs", "old\n");
    dir.write("real/f.rs", "old\n");
    c.set_up(dir);
    auto before = test::snapshot(dir.path());
    bool is_new = std::string(c.name) == "new file";
    mode_t mode = is_new ? 0 : stat_of(dir / c.written).st_mode;
    ASSERT_TRUE(replace_file(dir / c.path, "new text\n"));
    auto after = test::snapshot(dir.path());
    EXPECT_EQ(after[c.written], "new text\n");
    after.erase(c.written);
    before.erase(c.written);
    if (std::string(c.name) == "hard link") {
      EXPECT_EQ(after["f.rs"], "new text\n") << "both names see the new text";
      after.erase("f.rs");
      before.erase("f.rs");
    }
    EXPECT_EQ(after, before) << "nothing else changed, nothing left beside";
    if (!is_new) {
      EXPECT_EQ(stat_of(dir / c.written).st_mode, mode);
    }
  }
}

// A folder the process may not write: the file itself is written in place.
// What a SIGKILL left between naming a temporary file and its rename goes
// with the next replacement of that file; a running process's stays.
TEST(ReplaceFile, RemovesTemporaryFilesOfProcessesThatAreGone) {
  test::TempDir dir;
  dir.write("f.rs", "old\n");
  const std::string gone = ".f.rs.tersify-4194304-0";  // above any pid
  const std::string alive = ".f.rs.tersify-" + std::to_string(::getpid()) + "-7";
  dir.write(gone, "stale");
  dir.write(alive, "busy");
  ASSERT_TRUE(replace_file(dir / "f.rs", "new\n"));
  EXPECT_EQ(dir.read("f.rs"), "new\n");
  EXPECT_FALSE(dir.exists(gone));
  EXPECT_TRUE(dir.exists(alive));
}

TEST(ReplaceFile, ReadOnlyFolderIsWrittenInPlace) {
  test::TempDir dir;
  dir.write("ro/f.rs", "old text that is longer\n");
  ::chmod(dir.path().c_str(), 0755);
  ::chmod((dir / "ro/f.rs").c_str(), 0666);
  ::chmod((dir / "ro").c_str(), 0555);
  // Permissions do not stop root, so the replacement runs as an unprivileged user.
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    ::_exit(replace_file(dir / "ro/f.rs", "new\n") ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(dir.read("ro/f.rs"), "new\n");
  EXPECT_EQ(test::snapshot(dir / "ro").size(), 1u) << "nothing left beside";
  ::chmod((dir / "ro").c_str(), 0755);
}

TEST(ReplaceFile, MissingFolderFails) {
  test::TempDir dir;
  EXPECT_EQ(replace_file(dir / "none/f.rs", "x").error(), "No such file or directory (os error 2)");
}

// A file read before is replaced only while its path leads to that file
// holding that text; anything else is a change, and nothing is touched.
TEST(ReplaceFile, AFileReadBeforeIsReplacedOnlyWhileItIsTheSame) {
  struct Case {
    const char* name;
    void (*change)(const test::TempDir& dir);
    bool changed;
  };
  const Case cases[] = {
      {"nothing", [](const test::TempDir&) {}, false},
      {"its text, in place", [](const test::TempDir& d) { d.write("f.rs", "edited\n"); }, true},
      {"another file with the same text saved over it",
       [](const test::TempDir& d) {
         d.write("g.rs", "old\n");
         ::rename((d / "g.rs").c_str(), (d / "f.rs").c_str());
       },
       true},
      {"a link swapped in",
       [](const test::TempDir& d) {
         ::unlink((d / "f.rs").c_str());
         d.symlink("outside/f.rs", "f.rs");
       },
       true},
      {"removed", [](const test::TempDir& d) { ::unlink((d / "f.rs").c_str()); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    dir.write("f.rs", "old\n");
    dir.write("outside/f.rs", "old\n");
    auto read = read_regular_text(dir / "f.rs");
    ASSERT_TRUE(read) << read.error();
    c.change(dir);
    auto before = test::snapshot(dir.path());
    auto done = replace_read_file(dir / "f.rs", "new\n", read->identity, read->text);
    EXPECT_EQ(!done && done.error().changed, c.changed);
    if (c.changed) {
      EXPECT_EQ(test::snapshot(dir.path()), before);
    } else {
      EXPECT_EQ(dir.read("f.rs"), "new\n");
    }
  }
}

}  // namespace
}  // namespace tersify
