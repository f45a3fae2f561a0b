#include "util/file_place.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.h"
#include "support/working_folder.h"
#include "util/fs.h"
#include "util/io_error.h"

namespace tersify {
namespace {

// Only a regular file is read, and nothing blocks: each failure is named.
TEST(FilePlace, OnlyRegularFilesAreReadAndNothingWaits) {
  test::TempDir dir;
  dir.write("a.rs", "fn a() {}\n");
  dir.write("latin1.rs", "// caf\xe9\n");
  ASSERT_EQ(::mkfifo((dir / "fifo.rs").c_str(), 0644), 0);
  dir.symlink("/dev/zero", "zero.rs");
  dir.symlink("/proc/self/mem", "mem.rs");
  dir.mkdir("folder.rs");
  struct Case {
    const char* name;
    std::string error;  // "": read
  };
  const Case cases[] = {
      {"a.rs", ""},
      {"latin1.rs", invalid_utf8_text},
      {"fifo.rs", "not a regular file"},
      {"zero.rs", "not a regular file"},
      {"mem.rs", "Input/output error (os error 5)"},  // even for root
      {"folder.rs", io_error_text(EISDIR)},
      {"missing.rs", io_error_text(ENOENT)},
  };
  for (const auto& c : cases) {
    auto read = read_regular_text(dir / c.name);
    EXPECT_EQ(read ? "" : read.error(), c.error) << c.name;
  }
  EXPECT_EQ(read_regular_text(dir / "a.rs")->text, "fn a() {}\n");

  // Read one after another from one folder, every file reads as it does
  // alone.
  RegularTextReader reader({});
  for (int round = 0; round < 2; ++round) {
    for (const auto& c : cases) {
      auto read = reader.read(dir / c.name);
      EXPECT_EQ(read ? "" : read.error(), c.error) << c.name;
    }
  }
}

// A reader that holds a folder open reads the files named in it there, but
// a link leads where it points, and the roots hold for every file.
TEST(FilePlace, AReaderOfAFoldersFilesReadsWhereEachPathLeads) {
  test::TempDir dir;
  dir.write("in/a.rs", "in a\n");
  dir.write("in/b.rs", "in b\n");
  dir.write("in/sub/b.rs", "sub b\n");
  dir.write("out/c.rs", "out c\n");
  dir.symlink("sub/b.rs", "in/inner.rs");
  dir.symlink("../out/c.rs", "in/outer.rs");
  auto root = canonical_path(dir / "in").value();
  const std::vector<std::string> roots = {root};
  RegularTextReader reader(roots);
  const std::pair<const char*, std::string> cases[] = {
      {"in/a.rs", "in a\n"},
      {"in/inner.rs", "sub b\n"},
      {"in/b.rs", "in b\n"},
      {"in/outer.rs", "leads to " + canonical_path(dir / "out/c.rs").value() + ", outside the paths given"},
      {"in/a.rs", "in a\n"},
      {"in/sub/b.rs", "sub b\n"},
      {"out/c.rs", "leads to " + canonical_path(dir / "out/c.rs").value() + ", outside the paths given"},
  };
  for (const auto& [name, expected] : cases) {
    auto read = reader.read(dir / name);
    EXPECT_EQ(read ? read->text : read.error(), expected) << name;
  }

  // A file's state is told where its path leads, and only within the roots.
  EXPECT_EQ(file_state_within(dir / "in/inner.rs", roots), file_state(dir / "in/sub/b.rs"));
  EXPECT_FALSE(file_state_within(dir / "in/outer.rs", roots).has_value());
  EXPECT_EQ(file_state_within(dir / "in/outer.rs"), file_state(dir / "out/c.rs"));
  EXPECT_FALSE(file_state_within(dir / "in/missing.rs").has_value());
}

// A path spelled from the working folder tells the same state as the path
// resolved in full: a link on the way, a ".." or a folder swapped for a link
// makes no difference to where it is found to lead.
TEST(FilePlace, AStateToldFromTheWorkingFolderIsWhereThePathLeads) {
  test::TempDir dir;
  dir.write("in/sub/a.rs", "a\n");
  dir.write("out/b.rs", "b\n");
  dir.write("out/sub/a.rs", "other a\n");
  dir.symlink("sub", "in/linked");
  dir.symlink("../out", "in/away");
  auto working = canonical_path(dir.path()).value();
  test::WorkingFolder here(working);
  const std::vector<std::string> roots = {working + "/in"};
  auto a = file_state(dir / "in/sub/a.rs");
  const std::pair<const char*, std::optional<FileState>> cases[] = {
      {"in/sub/a.rs", a},      {"./in/sub/a.rs", a},     {"in/linked/a.rs", a}, {"in/sub/../sub/a.rs", a},
      {"in/away/b.rs", {}},    {"out/b.rs", {}},         {"in/missing.rs", {}}, {"in/sub/../../out/b.rs", {}},
  };
  for (const auto& [path, expected] : cases) {
    EXPECT_EQ(file_state_within(path, roots, working), expected) << path;
    EXPECT_EQ(file_state_within(working + "/" + path, roots, working), expected) << path;
  }

  // The folder swapped for a link to one outside after the run began.
  ASSERT_EQ(::rename((dir / "in/sub").c_str(), (dir / "in/old").c_str()), 0);
  dir.symlink("../out/sub", "in/sub");
  EXPECT_FALSE(file_state_within("in/sub/a.rs", roots, working).has_value());
}

}  // namespace
}  // namespace tersify
