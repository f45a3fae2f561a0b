// Every way of getting a result must give the plain pipeline's result, byte
// for byte: one file at a time, rustfmt started afresh for every file. On
// copies of real crates, each way runs the tool and the whole outcome is
// compared: every file and link of the tree, standard output, standard error
// and the exit status. The failure cases put a failing file in the middle of
// the list, with files listed twice and linked files around it, so that the
// failure meets later files in flight; they are repeated to shake out races
// (CARGO_TERSIFY_TEST_REPEATS, default 2).

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

#include "e2e/project.h"
#include "support/generated_rust.h"
#include "support/tools.h"
#include "support/tree.h"

namespace tersify::test {
namespace {

struct Way {
  const char* name;
  std::vector<std::string> env;
  bool repeated = false;  // side by side with many in flight: run the failure cases more than once
};

const Way plain{"plain", {"CARGO_TERSIFY_JOBS=1", "CARGO_TERSIFY_FORK_SERVER=0"}};

const Way other_ways[] = {
    {"one at a time, fork server", {"CARGO_TERSIFY_JOBS=1"}},
    {"all cores", {}, true},
    {"all cores, no fork server", {"CARGO_TERSIFY_FORK_SERVER=0"}},
    {"4 jobs", {"CARGO_TERSIFY_JOBS=4"}},
    {"16 jobs", {"CARGO_TERSIFY_JOBS=16"}, true},
};

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  std::map<std::string, std::string> tree;
};

std::string real_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  std::string result = resolved ? resolved : path;
  std::free(resolved);
  return result;
}

// Output that names the copy's own folder or a process's thread id (rustfmt's
// stack overflow report) is made comparable.
std::string comparable(std::string text, const std::string& dir) {
  for (std::size_t at; (at = text.find(dir)) != std::string::npos;) text.replace(at, dir.size(), "<dir>");
  // "thread 'main' (12345)": the digits go (no std::regex: g++ 12 warns
  // inside it in sanitizer builds).
  for (std::size_t at = text.find("thread '"); at != std::string::npos; at = text.find("thread '", at + 1)) {
    std::size_t open = text.find("' (", at + 8);
    if (open == std::string::npos) break;
    std::size_t digits = open + 3;
    std::size_t end = digits;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    if (end > digits && end < text.size() && text[end] == ')') text.replace(digits, end - digits, "<id>");
  }
  return text;
}

Outcome run_way(const std::string& pristine, const std::vector<std::string>& args, const Way& way,
                const std::string& path_prefix) {
  TempDir dir;
  copy_tree(pristine, dir.path());
  CommandOptions options;
  options.env = way.env;
  options.path_prefix = path_prefix;
  auto result = tersify_in(dir.path(), args, options);
  std::string real = real_path(dir.path());
  return {result.status, comparable(result.out, real), comparable(result.err, real), snapshot(dir.path())};
}

void expect_same(const Outcome& want, const Outcome& got) {
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

int repeats() {
  const char* value = std::getenv("CARGO_TERSIFY_TEST_REPEATS");
  return value != nullptr ? std::max(1, std::atoi(value)) : 2;
}

// The plain outcome, then every other way (the repeated ones `times` times),
// compared.
void expect_every_way_alike(const std::string& pristine, const std::vector<std::string>& args,
                            const std::string& path_prefix = "", int times = 1) {
  Outcome want = run_way(pristine, args, plain, path_prefix);
  for (const auto& way : other_ways) {
    for (int i = 0; i < (way.repeated ? times : 1); ++i) {
      SCOPED_TRACE(std::string(way.name) + ", run " + std::to_string(i + 1));
      expect_same(want, run_way(pristine, args, way, path_prefix));
    }
  }
}

TEST(Equivalence, RealCratesInWriteAndCheckMode) {
  TempDir pristine;
  for (const char* name : {"memchr", "itertools"}) {
    std::string crate = registry_crate(name);
    ASSERT_FALSE(crate.empty()) << name << " is not installed (scripts/install-deps.sh --test)";
    copy_tree(crate, pristine / name);
  }
  for (bool check : {false, true}) {
    SCOPED_TRACE(check ? "check mode" : "write mode");
    auto args = check ? std::vector<std::string>{"--check", "memchr", "itertools"}
                      : std::vector<std::string>{"memchr", "itertools"};
    expect_every_way_alike(pristine.path(), args);
  }
}

TEST(Equivalence, FailuresInTheMiddleOfTheList) {
  std::string crate = registry_crate("memchr");
  ASSERT_FALSE(crate.empty()) << "memchr is not installed (scripts/install-deps.sh --test)";
  // A rustfmt that fails on the marked text and runs the real one otherwise.
  TempDir tools;
  write_failing_on_input(tools.path(), "rustfmt", "tersify-test: fail here", "echo 'error: refused' >&2; exit 1");

  const std::string failing = "src/memmem/rabinkarp.rs";
  struct Case {
    const char* name;
    std::string path_prefix;
    void (*make)(const TempDir& dir, const std::string& file);
  };
  const Case cases[] = {
      {"syntax error", "", [](const TempDir& dir, const std::string& file) { dir.write(file, "fn broken( {\n"); }},
      {"invalid UTF-8", "",
       [](const TempDir& dir, const std::string& file) { dir.write(file, "fn main() {}\n// caf\xe9\n"); }},
      {"unreadable file", "",
       [](const TempDir& dir, const std::string& file) {
         ::unlink((dir / file).c_str());
         dir.symlink("/proc/self/mem", file);  // reading it fails even for root
       }},
      {"rustfmt fails", tools / "bin",
       [](const TempDir& dir, const std::string& file) {
         dir.write(file, dir.read(file) + "// tersify-test: fail here\n");
       }},
      {"rustfmt overflows its stack", "",
       [](const TempDir& dir, const std::string& file) { dir.write(file, nested_blocks_on_one_line(100'000)); }},
  };
  for (const auto& c : cases) {
    TempDir pristine;
    copy_tree(crate, pristine.path());
    c.make(pristine, failing);
    // Linked files before the failure: each must read what its target's turn
    // wrote. "src/memmem" is listed twice, so its files come in pairs.
    pristine.symlink("../cow.rs", "src/memmem/link_to_cow.rs");
    ASSERT_EQ(::link((pristine / "src/lib.rs").c_str(), (pristine / "src/memmem/hard_lib.rs").c_str()), 0);
    for (bool check : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (check ? ", check mode" : ", write mode"));
      auto args = check ? std::vector<std::string>{"--check", "src", "src/memmem"}
                        : std::vector<std::string>{"src", "src/memmem"};
      expect_every_way_alike(pristine.path(), args, c.path_prefix, repeats());
    }
  }
}

}  // namespace
}  // namespace tersify::test
