#include "discovery/source_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_dir.h"
#include "support/working_folder.h"
#include "util/fs.h"
#include "util/paths.h"

namespace tersify::discovery {
namespace {

using Strings = std::vector<std::string>;

// Lists relative to `dir`, as a user running in that directory would see.
Strings listed(const test::TempDir& dir, const Strings& arguments) {
  test::WorkingFolder here(dir.path());
  auto list = collect_source_files(arguments);
  EXPECT_TRUE(list) << list.error();
  return list ? *list : Strings{};
}

TEST(RsFiles, FileArgumentsAreListedByExactExtension) {
  test::TempDir dir;
  for (const char* name :
       {"main.rs", "notes.txt", "lib.RS", "lib.rs.orig", "lib.rsx", "rs", ".rs", ".hidden.rs", "target.rs", "..rs"}) {
    dir.write(name, "");
  }
  EXPECT_EQ(listed(dir, {"main.rs"}), Strings{"main.rs"});
  EXPECT_EQ(listed(dir, {"notes.txt"}), Strings{});
  EXPECT_EQ(collect_source_files({dir / "missing.rs"}).error(),
            dir / "missing.rs" + ": No such file or directory (os error 2)");
  EXPECT_EQ(listed(dir, {"."}), (Strings{"./..rs", "./.hidden.rs", "./main.rs", "./target.rs"}));
}

TEST(RsFiles, SkipsTargetAndHiddenDirectoriesAtAnyDepth) {
  test::TempDir dir;
  dir.write("src/lib.rs", "");
  dir.write("src/target/gen.rs", "");
  dir.write("target/debug/build.rs", "");
  dir.write(".git/hooks/x.rs", "");
  dir.write("src/.cache/y.rs", "");
  dir.write("src/targets/z.rs", "");
  EXPECT_EQ(listed(dir, {"."}), (Strings{"./src/lib.rs", "./src/targets/z.rs"}));
  // Also when the argument itself is such a directory.
  EXPECT_EQ(listed(dir, {"target"}), Strings{});
  EXPECT_EQ(listed(dir, {"src/target/"}), Strings{});
  EXPECT_EQ(listed(dir, {".git"}), Strings{});
  // "." and ".." have no file name, so they are searched.
  EXPECT_EQ(listed(dir, {"src/.."}), (Strings{"src/../src/lib.rs", "src/../src/targets/z.rs"}));
}

TEST(RsFiles, NonUtf8DirectoryNamesAreSearchedEvenWhenHidden) {
  test::TempDir dir;
  dir.write(".\xff/a.rs", "");
  dir.write("\xfe/b.rs", "");
  EXPECT_EQ(listed(dir, {"."}), (Strings{"./.\xff/a.rs", "./\xfe/b.rs"}));
}

TEST(RsFiles, FollowsSymbolicLinksThatStayWithinTheArgument) {
  test::TempDir dir;
  dir.write("real/inner.rs", "");
  dir.write("elsewhere/file.rs", "");
  dir.write("src/own.rs", "");
  dir.symlink("own.rs", "src/alias.rs");
  dir.symlink("../elsewhere/file.rs", "src/linked.rs");
  dir.symlink("nowhere.rs", "src/dangling.rs");
  dir.symlink("../real", "src/dirlink");
  dir.symlink("../src", "src/self");
  // A linked file or folder outside the argument is not listed or entered;
  // inside it, it is.
  EXPECT_EQ(listed(dir, {"src"}), (Strings{"src/alias.rs", "src/own.rs"}));
  EXPECT_EQ(listed(dir, {"."}), (Strings{"./elsewhere/file.rs", "./real/inner.rs", "./src/alias.rs",
                                         "./src/dirlink/inner.rs", "./src/linked.rs", "./src/own.rs"}));
  // A link named on the command line is the user's choice.
  EXPECT_EQ(listed(dir, {"src/linked.rs", "src/dirlink"}), (Strings{"src/dirlink/inner.rs", "src/linked.rs"}));
}

// Each folder a search lists files in is noted with its canonical path,
// found on the way down: the same as resolving the folder, links included.
TEST(RsFiles, SearchedFoldersAreNotedWithTheirCanonicalPaths) {
  test::TempDir dir;
  dir.write("real/inner.rs", "");
  dir.write("src/own.rs", "");
  dir.write("src/deep/er/a.rs", "");
  dir.symlink("../real", "src/dirlink");
  test::WorkingFolder here(dir.path());
  for (const Strings& arguments : {Strings{"."}, Strings{"src", "./real"}, Strings{"src/dirlink", "src/deep/"}}) {
    SearchedFolders folders;
    auto list = collect_source_files(arguments, &folders);
    std::map<std::string, std::string> resolved;
    for (const auto& [named, canonical] : folders) {
      auto real = canonical_path(named);
      resolved[named] = real ? *real : real.error();
    }
    ASSERT_TRUE(list) << list.error();
    EXPECT_EQ(folders, resolved);
    for (const auto& file : *list) {
      EXPECT_TRUE(folders.contains(parent_path(file).value_or(""))) << file << " in " << arguments.front();
    }
  }
}

TEST(RsFiles, VendoredCratesAreNotSearchedAndNamingOneFails) {
  test::TempDir dir;
  dir.write("src/main.rs", "");
  dir.write("vendor/either/.cargo-checksum.json", "{}");
  dir.write("vendor/either/src/lib.rs", "");
  dir.write("vendor/notes/a.rs", "");
  EXPECT_EQ(listed(dir, {"."}), (Strings{"./src/main.rs", "./vendor/notes/a.rs"}));
  EXPECT_EQ(listed(dir, {"vendor"}), Strings{"vendor/notes/a.rs"});
  const std::string crate = canonical_path(dir / "vendor/either").value();
  for (const std::string argument : {"vendor/either", "vendor/either/src/lib.rs", "vendor/either/src/"}) {
    SCOPED_TRACE(argument);
    EXPECT_EQ(collect_source_files({dir / argument}).error(),
              dir / argument + ": part of the vendored crate " + crate +
                  " (it holds .cargo-checksum.json): a change would break the checksums that cargo checks");
  }
}

TEST(RsFiles, LinkCyclesDoNotRunAway) {
  test::TempDir dir;
  dir.write("a/x.rs", "");
  dir.symlink("..", "a/up");            // back to the argument
  dir.symlink("../../a", "a/b/again");  // back to a, from below it
  dir.write("a/b/y.rs", "");
  dir.symlink("a/b", "side");  // no cycle: a second name for a/b
  EXPECT_EQ(listed(dir, {"."}), (Strings{"./a/b/y.rs", "./a/x.rs", "./side/again/x.rs", "./side/y.rs"}));
}

TEST(RsFiles, RepeatedArgumentsKeepDuplicatesAdjacent) {
  test::TempDir dir;
  dir.write("src/a.rs", "");
  dir.write("src/a/b.rs", "");
  dir.write("build.rs", "");
  EXPECT_EQ(listed(dir, {".", "."}),
            (Strings{"./build.rs", "./build.rs", "./src/a/b.rs", "./src/a/b.rs", "./src/a.rs", "./src/a.rs"}));
  EXPECT_EQ(listed(dir, {"src", "."}), (Strings{"./build.rs", "./src/a/b.rs", "./src/a.rs", "src/a/b.rs", "src/a.rs"}));
}

TEST(RsFiles, UnreadableDirectoryIsAFailure) {
  test::TempDir dir;
  dir.write("open/a.rs", "");
  dir.write("closed/b.rs", "");
  ::chmod(dir.path().c_str(), 0755);
  ::chmod((dir / "open").c_str(), 0755);
  ::chmod((dir / "closed").c_str(), 0);
  // Permissions do not stop root, so the walk runs as an unprivileged user.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(fds[0]);
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    if (::chdir(dir.path().c_str()) != 0) ::_exit(4);
    auto list = collect_source_files({"."});
    std::string joined = list ? "listed\n" : list.error() + "\n";
    if (::write(fds[1], joined.data(), joined.size()) != static_cast<ssize_t>(joined.size())) ::_exit(5);
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string output;
  char buffer[256];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) output.append(buffer, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(output, "./closed: Permission denied (os error 13)\n");
}

}  // namespace
}  // namespace tersify::discovery
