// Nothing lost when a rewrite is cut short: the tool killed at any point of
// writing a multi-megabyte file, a file size limit below the file's size, a
// full file system. Every file must be whole-old or whole-new afterwards, and
// no temporary file may be left. A stand-in rustfmt (tr) turns every "o" into
// "n" in a file that is one long comment, so each run is quick and the new
// text is known.

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "e2e/project.h"
#include "support/processes.h"
#include "support/tools.h"

namespace tersify::test {
namespace {

namespace fs = std::filesystem;

// A folder that is no package (no cargo run) with the big file in it, and
// the stand-in rustfmt in `bin`.
struct Tree {
  Tree(const std::string& at, std::size_t bytes) : root(at), old_text("/*\n") {
    while (old_text.size() < bytes) old_text += std::string(99, 'o') + "\n";
    old_text += "*/\n";
    fs::create_directories(root + "/src");
    fs::create_directories(root + "/bin");
    write_script(root + "/bin/rustfmt", "exec tr o n\n");
    reset();
  }
  void reset() const {
    fs::remove(root + "/src/rustfmt.toml");
    std::ofstream(root + "/src/big.rs", std::ios::binary) << old_text;
  }
  // The names in src besides the source file and its rustfmt.toml.
  std::set<std::string> strays() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(root + "/src")) names.insert(entry.path().filename());
    names.erase("big.rs");
    names.erase("rustfmt.toml");
    return names;
  }
  std::string read(const std::string& relative) const {
    std::ifstream in(root + "/" + relative, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  CommandResult run(std::vector<std::string> prefix = {}) const {
    prefix.push_back(TERSIFY_BINARY);
    prefix.push_back("src");
    CommandOptions options{root, {}, root + "/bin", ""};
    return run_command(prefix, options);
  }
  pid_t start() const {
    return start_in_background({TERSIFY_BINARY, "src"}, root, {"PATH=" + root + "/bin:" + std::getenv("PATH")});
  }

  std::string root;
  std::string old_text;
};

// The size of the temporary file that the tool `pid` has open, if any. It
// may have no name (O_TMPFILE): its descriptor shows it all the same.
std::optional<std::size_t> temp_bytes(const Tree& tree, pid_t pid) {
  std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  std::optional<std::size_t> bytes;
  DIR* dir = ::opendir(fds.c_str());
  for (const dirent* entry; dir != nullptr && (entry = ::readdir(dir)) != nullptr;) {
    std::error_code error;
    std::string fd = fds + "/" + entry->d_name, shown = fs::read_symlink(fd, error);
    auto size = fs::file_size(fd, error);
    if (!error && shown.starts_with(tree.root + "/src/") && shown != tree.root + "/src/big.rs") bytes = size;
  }
  if (dir != nullptr) ::closedir(dir);
  return bytes;
}

TEST(AtomicWrite, KilledAtAnyPointLeavesEveryFileOldOrNew) {
  TempDir dir;
  Tree tree(dir.path(), 3 << 20);
  std::string new_text = tree.old_text;
  std::ranges::replace(new_text, 'o', 'n');
  // When to kill: 't' once the temporary file holds `amount` bytes (0: once
  // it is open), 'r' once the file was replaced, 'd' after `amount`
  // microseconds.
  const std::pair<char, std::size_t> points[] = {{'t', 0},     {'t', 1 << 20}, {'t', 2 << 20}, {'r', 0},
                                                 {'d', 20000}, {'d', 60000},   {'d', 120000}};
  int caught = 0;
  for (int signal_number : {SIGINT, SIGTERM, SIGKILL}) {
    for (const auto& point : points) {
      const char kind = point.first;
      const std::size_t amount = point.second;
      SCOPED_TRACE(std::string(::strsignal(signal_number)) + ", " + kind + " " + std::to_string(amount));
      tree.reset();
      struct stat old, st;
      ASSERT_EQ(::stat((tree.root + "/src/big.rs").c_str(), &old), 0);
      auto start = std::chrono::steady_clock::now();
      pid_t pid = tree.start();
      auto reached = [&] {
        if (kind == 'd') return std::chrono::steady_clock::now() - start >= std::chrono::microseconds(amount);
        if (kind == 'r') return ::stat((tree.root + "/src/big.rs").c_str(), &st) == 0 && st.st_ino != old.st_ino;
        auto held = temp_bytes(tree, pid);
        return held && *held >= amount;
      };
      for (int status = 0; ::waitpid(pid, &status, WNOHANG) != pid;) {
        if (reached()) {
          ++caught;
          ::kill(pid, signal_number);
          ::waitpid(pid, nullptr, 0);
          break;
        }
      }
      std::string now = tree.read("src/big.rs");
      EXPECT_TRUE(now == tree.old_text || now == new_text) << "a file of " << now.size() << " bytes";
      std::string config = tree.read("src/rustfmt.toml");
      EXPECT_TRUE(config.empty() || config == "disable_all_formatting = true\n") << config;
      // A SIGKILL between naming a temporary file and its rename, a moment
      // of two system calls, leaves it; the next run's replacement of that
      // file removes it.
      if (signal_number == SIGKILL && !tree.strays().empty()) {
        fs::remove(tree.root + "/src/rustfmt.toml");
        EXPECT_EQ(tree.run().status, 0);
      }
      EXPECT_EQ(tree.strays(), std::set<std::string>{});
    }
  }
  EXPECT_GT(caught, 10) << "too few runs were killed before they ended";
}

// Unmounts on the way out, before the folder under it is removed; mounts
// nothing at "".
struct Mount {
  explicit Mount(std::string at)
      : path(std::move(at)),
        mounted(!path.empty() && ::mount("tersify-test", path.c_str(), "tmpfs", 0, "size=1m") == 0),
        error(errno) {}
  ~Mount() {
    if (mounted) ::umount2(path.c_str(), MNT_DETACH);
  }
  std::string path;
  bool mounted;
  int error;
};

// A write that fails part-way leaves the original: past a file size limit,
// whether the file is replaced by a rename or, with a second hard link,
// written in place; and on a full file system (last, as it needs root).
TEST(AtomicWrite, AFailedWriteLeavesTheOriginal) {
  struct Case {
    const char* name;
    bool hard_link, full;
    std::string err;
  };
  const Case cases[] = {{"file size limit", false, false, "File too large (os error 27)"},
                        {"file size limit, hard link", true, false, "File too large (os error 27)"},
                        {"full file system", false, true, "No space left on device (os error 28)"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.mkdir("small");
    Mount mount(c.full ? dir / "small" : "");
    if (c.full && !mount.mounted) {
      GTEST_SKIP() << "can't mount a small tmpfs (needs root): " << std::strerror(mount.error);
    }
    Tree tree(dir / "small", c.full ? 600 << 10 : 1 << 20);
    if (c.hard_link) {
      ASSERT_EQ(::link((tree.root + "/src/big.rs").c_str(), (tree.root + "/other").c_str()), 0);
    }
    auto result = tree.run(c.full ? std::vector<std::string>{} : std::vector<std::string>{"prlimit", "--fsize=500000"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "src/big.rs: " + c.err + "\n");
    EXPECT_EQ(tree.read("src/big.rs"), tree.old_text);
    EXPECT_EQ(tree.strays(), std::set<std::string>{});
  }
}

// A SIGKILL in the middle of the in-place write of a hard-linked file, once
// the new text went over the old one and before the file was cut to its
// length, leaves neither text; the next run puts the old text back before it
// reads the file, and writes the new text whole. A file edited in between
// keeps the edit. The kill comes from strace at the write's ftruncate.
TEST(AtomicWrite, AnInPlaceWriteKilledHalfwayIsUndoneByTheNextRun) {
  if (find_program("strace").empty()) GTEST_SKIP() << "strace is missing";
  std::string old_text, new_text;
  for (int i = 0; i < 3000; ++i) {
    old_text += "fn f" + std::to_string(i) + "() {\n    " + std::to_string(i) + "\n}\n";
    new_text += "fn f" + std::to_string(i) + "() { " + std::to_string(i) + " }\n";
  }
  for (bool edited : {false, true}) {
    SCOPED_TRACE(edited ? "edited in between" : "as the kill left it");
    TempDir dir;
    dir.write("src/big.rs", old_text);
    ASSERT_EQ(::link((dir / "src/big.rs").c_str(), (dir / "other").c_str()), 0);
    dir.mkdir("bin");
    write_script(dir / "bin/rustfmt", "exec cat\n");
    CommandOptions options = path_first(dir / "bin");
    options.cwd = dir.path();
    options.env = {"CARGO_TERSIFY_JOBS=1", "CARGO_TERSIFY_CACHE=0"};
    auto killed = run_command({"strace", "-o", "/dev/null", "-e", "trace=ftruncate", "-e",
                               "inject=ftruncate:signal=KILL:when=1", TERSIFY_BINARY, "src"},
                              options);
    EXPECT_EQ(killed.status, 128 + SIGKILL) << killed.err;
    EXPECT_EQ(dir.read("other"), new_text + old_text.substr(new_text.size())) << "not cut short where it should be";
    auto kept = [&] {
      int count = 0;
      for (const auto& entry : fs::directory_iterator(dir / "src")) {
        count += entry.path().filename().string().find(".tersify-old-") != std::string::npos ? 1 : 0;
      }
      return count;
    };
    EXPECT_EQ(kept(), 1);
    if (edited) dir.write("src/big.rs", "fn edited() {\n    1\n}\n");

    EXPECT_EQ(ended(run_command({TERSIFY_BINARY, "src"}, options)), std::tuple(0, "", ""));
    EXPECT_EQ(dir.read("other"), edited ? "fn edited() { 1 }\n" : new_text);
    EXPECT_EQ(kept(), 0);
  }
}

}  // namespace
}  // namespace tersify::test
