// A tree in a folder that others may write: whatever another user does
// there during a run (a link or a FIFO swapped in, a folder swapped for a
// link, temporary names planted, a configuration file planted around
// $TMPDIR), the run reads and writes only the files of the tree, and every
// file stays whole. One user plays both sides: the changes are made while a
// stand-in rustfmt stalls on src/a.rs.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <future>

#include "driver/rustfmt_config.h"
#include "e2e/outcome.h"
#include "e2e/project.h"
#include "support/processes.h"
#include "support/tools.h"

namespace tersify::test {
namespace {

namespace fs = std::filesystem;

// The texts of the tree and of another user's files, each of which a run
// would change: the stand-in rustfmt gives its input back as it is, and
// compaction joins each body onto one line.
constexpr const char* a_text = "fn a() {\n    let x = 1;\n} // stall here\n";
constexpr const char* a_final = "fn a() { let x = 1; } // stall here\n";
constexpr const char* b_text = "fn b() {\n    let y = 2;\n}\n";
constexpr const char* b_final = "fn b() { let y = 2; }\n";
constexpr const char* their_text = "fn theirs() {\n    3\n}\n";

// "tree" is the path argument (no package, so no cargo), "outside" holds
// another user's files, "bin" the stand-in rustfmt.
struct Scene {
  Scene() {
    dir.write("tree/src/a.rs", a_text);
    dir.write("tree/src/b.rs", b_text);
    dir.write("outside/notes.rs", their_text);
    dir.write("outside/a.rs", their_text);
    dir.mkdir("bin");
    // Stalls once, when "armed" exists, until the test says "go".
    write_script(dir / "bin/rustfmt", "input=$(cat)\n"
                                      "case \"$input\" in *'stall here'*) if rm '" + dir / "armed" +
                                          "' 2>/dev/null; then\n"
                                          "  : > '" + dir / "stalled" + "'\n"
                                          "  while [ ! -e '" + dir / "go" + "' ]; do sleep 0.01; done\n"
                                          "fi ;; esac\nprintf '%s\\n' \"$input\"\n");
  }
  // Runs `argv` in the tree; `during`, when given, while rustfmt stalls.
  CommandResult run(const std::vector<std::string>& argv, const std::string& jobs,
                    const std::function<void(const Scene&)>& during) const {
    CommandOptions options = path_first(dir / "bin");
    options.cwd = dir / "tree";
    options.env = {"CARGO_TERSIFY_JOBS=" + jobs, "CARGO_TERSIFY_CACHE=0"};
    if (!during) return run_command(argv, options);
    dir.write("armed", "");
    auto result = std::async(std::launch::async, [&] { return run_command(argv, options); });
    EXPECT_TRUE(eventually([&] { return dir.exists("stalled"); }));
    during(*this);
    dir.write("go", "");
    return result.get();
  }
  // The text of tree/`path`, "" when it is not a regular file (or a link).
  std::string text(const std::string& path) const {
    return fs::is_regular_file(fs::symlink_status(dir / ("tree/" + path))) ? dir.read("tree/" + path) : "";
  }
  // Names of ours left in the tree: temporary files and kept texts end in
  // a token of 16 hex digits.
  std::vector<std::string> leftovers() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir / "tree")) {
      std::string name = entry.path().filename();
      auto token = name.substr(name.rfind('-') + 1);
      if (name.find(".tersify-") != std::string::npos && token.size() == 16) found.push_back(name);
    }
    return found;
  }

  TempDir dir;
};

void swap_for_link(const std::string& path, const std::string& target) {
  fs::remove(path);
  fs::create_symlink(target, path);
}

TEST(SharedFolder, NothingOutsideTheTreeIsTouchedAndEveryFileStaysWhole) {
  const std::vector<std::string> run = {TERSIFY_BINARY};
  struct Case {
    const char* name;
    std::vector<std::string> argv;
    std::function<void(const Scene&)> plant;   // before the run
    std::function<void(const Scene&)> during;  // while rustfmt stalls on a.rs; none: no stall
    int status;
    std::string err;   // "<dir>" stands for the scene's folder
    std::string a, b;  // the texts of a.rs and b.rs afterwards ("": not a regular file)
  };
  const Case cases[] = {
      {"a link swapped in", run, {},
       [](const Scene& s) { swap_for_link(s.dir / "tree/src/a.rs", s.dir / "outside/notes.rs"); }, 2,
       "./src/a.rs: leads to <dir>/outside/notes.rs, outside the paths given\n", "", b_text},
      {"the folder swapped for a link", run, {},
       [](const Scene& s) {
         fs::rename(s.dir / "tree/src", s.dir / "tree/old");
         fs::create_symlink(s.dir / "outside", s.dir / "tree/src");
       },
       2, "./src/a.rs: leads to <dir>/outside/a.rs, outside the paths given\n", "", ""},
      {"a FIFO swapped in", run, {},
       [](const Scene& s) {
         fs::remove(s.dir / "tree/src/b.rs");
         ::mkfifo((s.dir / "tree/src/b.rs").c_str(), 0644);
       },
       2, "./src/b.rs: not a regular file\n", a_final, ""},
      {"another file saved over it", run, {},
       [](const Scene& s) {
         s.dir.write("tree/src/saved", "fn saved() {\n    4\n}\n");
         fs::rename(s.dir / "tree/src/saved", s.dir / "tree/src/a.rs");
       },
       0, "", "fn saved() { 4 }\n", b_final},
      {"a FIFO named", {TERSIFY_BINARY, "src/pipe.rs"},
       [](const Scene& s) { ::mkfifo((s.dir / "tree/src/pipe.rs").c_str(), 0644); }, {}, 2,
       "src/pipe.rs: not a regular file\n", a_text, b_text},
      // The names the tool would have used before they were random, as
      // empty files and as links out of the tree.
      {"temporary names planted",
       {"sh", "-c",
        "for n in $(seq 0 149); do : > src/.a.rs.tersify-$$-$n; ln -s ../../outside/notes.rs "
        "src/.b.rs.tersify-$$-$n; done; exec " TERSIFY_BINARY},
       {}, {}, 0, "", a_final, b_final},
  };
  for (const auto& c : cases) {
    // One job: the change comes between the read at the file's turn and its
    // write. Three: between a read ahead of its turn and the turn.
    for (const char* jobs : {"1", "3"}) {
      if (!c.during && jobs != std::string("1")) continue;
      SCOPED_TRACE(std::string(c.name) + ", jobs " + jobs);
      Scene s;
      if (c.plant) c.plant(s);
      auto result = s.run(c.argv, jobs, c.during);
      result.err = comparable(result.err, real_path(s.dir.path()));
      EXPECT_EQ(ended(result), std::tuple(c.status, "", c.err));
      // After the folder swap, the tree's own files are in "old".
      std::string src = fs::exists(s.dir / "tree/old") ? "old/" : "src/";
      EXPECT_EQ(s.text(src + "a.rs"), src == "old/" ? a_text : c.a);
      EXPECT_EQ(s.text(src + "b.rs"), src == "old/" ? b_text : c.b);
      EXPECT_EQ(s.dir.read("outside/notes.rs"), their_text);
      EXPECT_EQ(s.dir.read("outside/a.rs"), their_text);
      EXPECT_EQ(s.leftovers(), std::vector<std::string>{});
    }
  }
}

// Permissions are the user's word. Played by an unprivileged user, as root
// may write anything: a file the user may not write fails the run as rustfmt
// fails, and another user's file that the user may write is written in
// place, keeping its owner.
TEST(SharedFolder, PermissionsAreTheUsersWord) {
  if (::geteuid() != 0 || find_program("setpriv").empty()) GTEST_SKIP() << "playing another user needs root";
  struct Case {
    const char* name;
    uid_t owner;
    mode_t mode;
    int status;
    std::string err, a;
  };
  const Case cases[] = {
      {"a file the user may not write", 65534, 0444, 2, "./src/a.rs: Permission denied (os error 13)\n", a_text},
      {"another user's file", 0, 0666, 0, "", a_final},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Scene s;
    ::chmod(s.dir.path().c_str(), 0755);
    fs::remove(s.dir / "tree/src/b.rs");
    for (const auto& entry : fs::recursive_directory_iterator(s.dir / "tree")) ::chown(entry.path().c_str(), 65534, 65534);
    ::chown((s.dir / "tree").c_str(), 65534, 65534);
    ::chown((s.dir / "tree/src/a.rs").c_str(), c.owner, c.owner);
    ::chmod((s.dir / "tree/src/a.rs").c_str(), c.mode);
    struct stat before {}, after {};
    ::stat((s.dir / "tree/src/a.rs").c_str(), &before);
    auto result = s.run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", TERSIFY_BINARY}, "1", {});
    EXPECT_EQ(ended(result), std::tuple(c.status, "", c.err));
    EXPECT_EQ(s.text("src/a.rs"), c.a);
    ::stat((s.dir / "tree/src/a.rs").c_str(), &after);
    EXPECT_EQ(std::tuple(after.st_ino, after.st_uid, after.st_mode), std::tuple(before.st_ino, c.owner, before.st_mode));
    EXPECT_EQ(s.leftovers(), std::vector<std::string>{});
  }
}

// Batches read only the configuration the tool chose: a rustfmt.toml planted
// around $TMPDIR, where their scratch folders are, changes no result, with
// the cache or without it, and leaves no wrong result in the cache.
TEST(SharedFolder, AConfigurationAroundTmpdirIsNeverRead) {
  TempDir dir;
  if (driver::config_rustfmt_reads(dir.path(), driver::read_environment())) {
    GTEST_SKIP() << "a configuration of the user's own applies everywhere";
  }
  dir.mkdir("shared/tmp");
  dir.write("tree/src/lib.rs", "fn main() {\n    let x = 1;\n    println!(\"{x}\");\n}\n");  // final already
  auto options = [&](const char* cache) {
    CommandOptions given = cwd_options(dir / "tree");
    given.env = {"TMPDIR=" + dir / "shared/tmp", std::string("CARGO_TERSIFY_CACHE=") + cache,
                 "XDG_CACHE_HOME=" + dir / "cache", "CARGO_TERSIFY_STATS=" + dir / "stats"};
    return given;
  };
  auto unplanted = run_tersify({"--check"}, options("0"));
  EXPECT_EQ(unplanted.out.find("would reformat"), std::string::npos) << unplanted.out;
  dir.write("shared/rustfmt.toml", "hard_tabs = true\n");
  for (const char* cache : {"0", "1"}) {
    // With the cache, the second run takes the first one's results.
    for (int run = 0; run < 2; ++run) {
      SCOPED_TRACE(std::string("cache ") + cache + ", run " + std::to_string(run + 1));
      EXPECT_EQ(ended(run_tersify({"--check"}, options(cache))), ended(unplanted));
    }
    if (*cache == '0') {
      EXPECT_NE(dir.read("stats").find("rustfmt_batches 1\n"), std::string::npos) << "no batch ran: " << dir.read("stats");
    }
  }
}

}  // namespace
}  // namespace tersify::test
