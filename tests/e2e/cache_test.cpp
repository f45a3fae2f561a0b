// The result cache changes no result: on a small real package, already
// formatted by a run that filled the cache, every change to a part of the
// cache's key (and every kind of damage to the cache) is made, and a run with
// the cache must give a run without it's outcome byte for byte while using
// exactly the entries that still apply.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "e2e/outcome.h"
#include "e2e/project.h"
#include "support/tools.h"
#include "support/tree.h"

namespace tersify::test {
namespace {

namespace fs = std::filesystem;

constexpr int package_files = 4;

// A run of the tool with and without the cache, after a change.
struct Trial {
  TempDir tree_cached, tree_plain, cache;
  CommandOptions cached, plain;
  std::vector<std::string> args;
  // Applies `edit` to both trees.
  void edit(const std::function<void(const std::string& root)>& edit_tree) const {
    edit_tree(tree_cached.path());
    edit_tree(tree_plain.path());
  }
};

// Visits every entry, once the folder is listed: a visit may replace it.
void for_each_entry(const std::string& cache, const std::function<void(const fs::path&)>& visit,
                    const std::string& folder = "cargo-tersify") {
  std::vector<fs::path> entries;
  for (const auto& entry : fs::recursive_directory_iterator(cache + "/" + folder)) {
    if (entry.is_regular_file()) entries.push_back(entry.path());
  }
  for (const auto& entry : entries) visit(entry);
}

// Replaces every entry with what `make` puts at its path.
void replace_entries(const std::string& cache, const std::function<void(const fs::path&)>& make) {
  for_each_entry(cache, [&](const fs::path& p) {
    fs::remove(p);
    make(p);
  });
}

void append(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::app) << text; }

struct Change {
  const char* name;
  std::function<void(Trial&)> apply;
  int hits;  // the cache entries the run with the cache uses
};

const Change changes[] = {
    {"nothing", [](Trial&) {}, package_files},
    {"nothing, write mode", [](Trial& s) { s.args = {}; }, package_files},
    {"a byte of a file, write mode",
     [](Trial& s) {
       s.args = {};
       s.edit([](const std::string& root) { append(root + "/src/c.rs", " "); });
     },
     package_files - 1},
    {"the edition",
     [](Trial& s) {
       s.edit([](const std::string& root) { std::ofstream(root + "/Cargo.toml") << manifest("p", "2018"); });
     },
     0},
    {"the width", [](Trial& s) { s.args.push_back("--width=60"); }, 0},
    {"the configuration file",
     [](Trial& s) { s.edit([](const std::string& root) { append(root + "/rustfmt.toml", "hard_tabs = true\n"); }); },
     0},
    {"the rustfmt on PATH",
     [](Trial& s) {
       s.cache.mkdir("bin");
       write_script(s.cache / "bin/rustfmt", "exec " + test::find_program("rustfmt") + " \"$@\"\n");
       s.cached.path_prefix = s.plain.path_prefix = s.cache / "bin";
     },
     0},
    {"entries cut short",
     [](Trial& s) { for_each_entry(s.cache.path(), [](const fs::path& p) { fs::resize_file(p, 10); }); }, 0},
    {"entries full of garbage",
     [](Trial& s) {
       for_each_entry(s.cache.path(), [](const fs::path& p) { std::ofstream(p) << "\x7f garbage \xff\n"; });
     },
     0},
    // Neither is ever read: the run must not hang or run out of memory.
    {"entries replaced by FIFOs",
     [](Trial& s) { replace_entries(s.cache.path(), [](const fs::path& p) { ::mkfifo(p.c_str(), 0644); }); }, 0},
    {"entries linked to /dev/zero",
     [](Trial& s) { replace_entries(s.cache.path(), [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }); },
     0},
    // Remembered cargo metadata: damage is a miss, cargo runs, results stay.
    {"metadata entries full of garbage",
     [](Trial& s) {
       for_each_entry(
           s.cache.path(), [](const fs::path& p) { std::ofstream(p) << "garbage"; }, "cargo-tersify/metadata");
     },
     package_files},
    {"a metadata folder that can't be written",
     [](Trial& s) {
       fs::remove_all(s.cache / "cargo-tersify/metadata");
       s.cache.write("cargo-tersify/metadata", "");
     },
     package_files},
    {"a cache folder that can't be written",
     [](Trial& s) {
       s.cache.write("blocked", "");
       s.cached.env.push_back("XDG_CACHE_HOME=" + (s.cache / "blocked"));
     },
     0},
};

int stat_value(const std::string& stats_path, const std::string& wanted) {
  std::ifstream in(stats_path);
  std::string name;
  std::uint64_t value = 0;
  while (in >> name >> value) {
    if (name == wanted) return static_cast<int>(value);
  }
  return -1;
}

class Cache : public ::testing::Test {
 protected:
  // The package as a run with the cache left it, and that cache.
  static void SetUpTestSuite() {
    std::string memchr = registry_crate("memchr");
    if (memchr.empty()) return;
    formatted_ = new TempDir;
    warm_ = new TempDir;
    formatted_->write("Cargo.toml", manifest("p", "2021"));
    formatted_->mkdir("src");
    for (auto [from, to] : {std::pair{"src/memchr/naive.rs", "src/lib.rs"},
                            {"src/memchr/c.rs", "src/c.rs"},
                            {"src/tests/memchr/simple.rs", "src/simple.rs"},
                            {"src/memmem/prefilter/wasm.rs", "src/wasm.rs"}}) {
      fs::copy_file(memchr + "/" + from, formatted_->path() + "/" + to);
    }
    CommandOptions options;
    options.env = {"CARGO_TERSIFY_CACHE=1", "XDG_CACHE_HOME=" + warm_->path()};
    ASSERT_EQ(tersify_in(formatted_->path(), {}, options).status, 0);
  }
  static void TearDownTestSuite() {
    delete formatted_;
    delete warm_;
  }
  static TempDir* formatted_;
  static TempDir* warm_;
};
TempDir* Cache::formatted_ = nullptr;
TempDir* Cache::warm_ = nullptr;

TEST_F(Cache, EveryChangeToTheKeyAndEveryDamageGivesTheResultsOfARunWithoutIt) {
  ASSERT_NE(formatted_, nullptr) << "memchr is not installed (scripts/install-deps.sh --test)";
  for (const auto& change : changes) {
    SCOPED_TRACE(change.name);
    Trial s;
    copy_tree(formatted_->path(), s.tree_cached.path());
    copy_tree(formatted_->path(), s.tree_plain.path());
    copy_tree(warm_->path(), s.cache.path());
    s.args = {"--check"};
    std::string stats = s.cache / "stats";
    s.cached.env = {"CARGO_TERSIFY_CACHE=1", "XDG_CACHE_HOME=" + s.cache.path(), "CARGO_TERSIFY_STATS=" + stats};
    change.apply(s);
    Outcome want = outcome_in(s.tree_plain.path(), s.args, s.plain);
    expect_same(want, outcome_in(s.tree_cached.path(), s.args, s.cached));
    EXPECT_EQ(stat_value(stats, "cache_hits"), change.hits);
    // A run that the cache answers whole starts no rustfmt server.
    if (change.hits == package_files) {
      EXPECT_EQ(stat_value(stats, "servers"), 0);
    }
  }
}

// An editor's filter: a text the cache knows comes back without rustfmt
// formatting it (a rustfmt on PATH that notes its runs sees only the
// --version run), with the same output as without the cache.
TEST_F(Cache, TheFilterSkipsFormattingForAKnownText) {
  ASSERT_NE(formatted_, nullptr) << "memchr is not installed (scripts/install-deps.sh --test)";
  TempDir dir;
  copy_tree(formatted_->path(), dir.path());
  std::string log = dir / "runs.log";
  dir.mkdir("bin");
  write_script(dir / "bin/rustfmt", "echo \"$*\" >> " + log + "\nexec " + test::find_program("rustfmt") + " \"$@\"\n");
  CommandOptions options;
  options.cwd = dir.path();
  options.path_prefix = dir / "bin";
  options.input = dir.read("src/lib.rs");
  auto plain = run_filter({}, options);
  ASSERT_EQ(plain.status, 0) << plain.err;
  options.env = {"CARGO_TERSIFY_CACHE=1", "XDG_CACHE_HOME=" + (dir / "cache")};
  for (int run = 0; run < 2; ++run) {
    ::unlink(log.c_str());
    auto cached = run_filter({}, options);
    EXPECT_EQ(cached.status, 0);
    EXPECT_EQ(cached.out, plain.out);
    EXPECT_EQ(cached.err, plain.err);
    EXPECT_EQ(dir.read("runs.log") == "--version\n", run == 1) << dir.read("runs.log");
  }
}

}  // namespace
}  // namespace tersify::test
