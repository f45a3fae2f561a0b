// Nothing lost when a rewrite is cut short: the tool killed at any point of
// writing a multi-megabyte file, a file size limit below the file's size, a
// full file system. Every file must be whole-old or whole-new afterwards, and
// no temporary file may be left. A stand-in rustfmt (tr) turns every "o" into
// "n" in a file that is one long comment, so each run is quick and the new
// text is known.

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <set>

#include "e2e/project.h"

extern char** environ;

namespace tersify::test {
namespace {

std::string big_comment(std::size_t bytes) {
  std::string line(99, 'o');
  line.push_back('\n');
  std::string text = "/*\n";
  while (text.size() < bytes) text += line;
  return text + "*/\n";
}

std::string with_n(std::string text) {
  for (char& c : text) c = c == 'o' ? 'n' : c;
  return text;
}

// A folder that is no package (no cargo run) with the big file in it, and
// the stand-in rustfmt in `bin`.
struct Tree {
  explicit Tree(const std::string& at, std::size_t bytes) : root(at), old_text(big_comment(bytes)) {
    ::mkdir((root + "/src").c_str(), 0755);
    ::mkdir((root + "/bin").c_str(), 0755);
    write_script(root + "/bin/rustfmt", "exec tr o n\n");
    reset();
  }
  void reset() const {
    ::unlink((root + "/src/rustfmt.toml").c_str());
    std::FILE* file = std::fopen((root + "/src/big.rs").c_str(), "w");
    std::fwrite(old_text.data(), 1, old_text.size(), file);
    std::fclose(file);
  }
  // The names in src besides the source file and its rustfmt.toml.
  std::set<std::string> strays() const {
    std::set<std::string> names;
    DIR* dir = ::opendir((root + "/src").c_str());
    while (const dirent* entry = ::readdir(dir)) names.insert(entry->d_name);
    ::closedir(dir);
    for (const char* known : {".", "..", "big.rs", "rustfmt.toml"}) names.erase(known);
    return names;
  }
  std::string read(const std::string& relative) const {
    std::string text;
    if (std::FILE* file = std::fopen((root + "/" + relative).c_str(), "r")) {
      char buffer[65536];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
      std::fclose(file);
    }
    return text;
  }
  CommandResult run(std::vector<std::string> prefix = {}) const {
    prefix.push_back(TERSIFY_BINARY);
    prefix.push_back("src");
    CommandOptions options;
    options.cwd = root;
    options.path_prefix = root + "/bin";
    return run_command(prefix, options);
  }

  std::string root;
  std::string old_text;
};

// Starts the tool on `tree` without waiting for it.
pid_t start_tool(const Tree& tree) {
  std::string path = "PATH=" + tree.root + "/bin:" + std::getenv("PATH");
  std::vector<char*> env{const_cast<char*>(path.c_str())};
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string_view(*e).starts_with("PATH=")) continue;
    env.push_back(*e);
  }
  env.push_back(nullptr);
  std::string src = tree.root + "/src";
  char* argv[] = {const_cast<char*>(TERSIFY_BINARY), src.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  EXPECT_EQ(::posix_spawn(&pid, TERSIFY_BINARY, &actions, nullptr, argv, env.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// When to kill: once the temporary file holds `amount` bytes (0: once it is
// open), or once the file was replaced, or after a delay.
struct KillPoint {
  enum class Kind { temp_size, replaced, delay } kind;
  std::size_t amount;  // bytes, or microseconds
};

// The size of the temporary file that the tool `pid` has open, if any. It
// may have no name (O_TMPFILE): its descriptor shows it all the same.
std::optional<std::size_t> temp_bytes(const Tree& tree, pid_t pid) {
  std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  DIR* dir = ::opendir(fds.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::size_t> bytes;
  while (const dirent* entry = ::readdir(dir)) {
    std::string fd = fds + "/" + entry->d_name;
    char target[4096];
    ssize_t n = ::readlink(fd.c_str(), target, sizeof target);
    std::string_view shown(target, n > 0 ? static_cast<std::size_t>(n) : 0);
    struct stat st;
    if (shown.starts_with(tree.root + "/src/") && shown != tree.root + "/src/big.rs" && ::stat(fd.c_str(), &st) == 0) {
      bytes = static_cast<std::size_t>(st.st_size);
    }
  }
  ::closedir(dir);
  return bytes;
}

// Whether the point was reached before the tool ended on its own.
bool wait_for(const Tree& tree, pid_t pid, KillPoint point, ino_t old_inode) {
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return false;
    if (point.kind == KillPoint::Kind::delay) {
      if (std::chrono::steady_clock::now() - start >= std::chrono::microseconds(point.amount)) return true;
      continue;
    }
    if (point.kind == KillPoint::Kind::replaced) {
      struct stat st;
      if (::stat((tree.root + "/src/big.rs").c_str(), &st) == 0 && st.st_ino != old_inode) return true;
      continue;
    }
    if (auto bytes = temp_bytes(tree, pid); bytes && *bytes >= point.amount) return true;
  }
}

TEST(AtomicWrite, KilledAtAnyPointLeavesEveryFileOldOrNew) {
  TempDir dir;
  Tree tree(dir.path(), 3 << 20);
  const std::string new_text = with_n(tree.old_text);
  using Kind = KillPoint::Kind;
  const KillPoint points[] = {{Kind::temp_size, 0},       {Kind::temp_size, 1 << 20}, {Kind::temp_size, 2 << 20},
                              {Kind::replaced, 0},        {Kind::delay, 20000},       {Kind::delay, 60000},
                              {Kind::delay, 120000}};
  int caught = 0;
  for (int signal_number : {SIGINT, SIGTERM, SIGKILL}) {
    for (const auto& point : points) {
      SCOPED_TRACE("signal " + std::to_string(signal_number) + ", point " +
                   std::to_string(static_cast<int>(point.kind)) + "/" + std::to_string(point.amount));
      tree.reset();
      struct stat st;
      ASSERT_EQ(::stat((tree.root + "/src/big.rs").c_str(), &st), 0);
      pid_t pid = start_tool(tree);
      if (wait_for(tree, pid, point, st.st_ino)) {
        ++caught;
        ::kill(pid, signal_number);
        int status = 0;
        ::waitpid(pid, &status, 0);
      }
      std::string now = tree.read("src/big.rs");
      EXPECT_TRUE(now == tree.old_text || now == new_text) << "a file of " << now.size() << " bytes";
      std::string config = tree.read("src/rustfmt.toml");
      EXPECT_TRUE(config.empty() || config == "disable_all_formatting = true\n") << config;
      // A SIGKILL between naming a temporary file and its rename, a moment
      // of two system calls, leaves it; the next run's replacement of that
      // file removes it.
      if (signal_number == SIGKILL && !tree.strays().empty()) {
        ::unlink((tree.root + "/src/rustfmt.toml").c_str());
        EXPECT_EQ(tree.run().status, 0);
      }
      EXPECT_EQ(tree.strays(), std::set<std::string>{});
    }
  }
  EXPECT_GT(caught, 10) << "too few runs were killed before they ended";
}

// A write that fails part-way leaves the original, whether the file is
// replaced by a rename or, with a second hard link, written in place.
TEST(AtomicWrite, FileSizeLimitBelowTheFileLeavesTheOriginal) {
  for (bool hard_link : {false, true}) {
    SCOPED_TRACE(hard_link ? "hard link" : "single link");
    TempDir dir;
    Tree tree(dir.path(), 1 << 20);
    if (hard_link) {
      ASSERT_EQ(::link((tree.root + "/src/big.rs").c_str(), (tree.root + "/other").c_str()), 0);
    }
    auto result = tree.run({"prlimit", "--fsize=500000"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "src/big.rs: File too large (os error 27)\n");
    EXPECT_EQ(tree.read("src/big.rs"), tree.old_text);
    EXPECT_EQ(tree.strays(), std::set<std::string>{});
  }
}

// Unmounts on the way out, before the folder under it is removed.
struct Mount {
  explicit Mount(const std::string& at) : path(at) {
    mounted = ::mount("tersify-test", at.c_str(), "tmpfs", 0, "size=1m") == 0;
  }
  ~Mount() {
    if (mounted) ::umount2(path.c_str(), MNT_DETACH);
  }
  std::string path;
  bool mounted;
};

TEST(AtomicWrite, FullFileSystemLeavesTheOriginal) {
  TempDir dir;
  dir.mkdir("small");
  Mount mount(dir / "small");
  int mount_error = errno;
  if (!mount.mounted) GTEST_SKIP() << "can't mount a small tmpfs here (needs root): " << std::strerror(mount_error);
  Tree tree(dir / "small", 600 << 10);
  auto result = tree.run();
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "src/big.rs: No space left on device (os error 28)\n");
  EXPECT_EQ(tree.read("src/big.rs"), tree.old_text);
  EXPECT_EQ(tree.strays(), std::set<std::string>{});
}

}  // namespace
}  // namespace tersify::test
