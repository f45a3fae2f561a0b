#include "util/file_place.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.h"
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
}

}  // namespace
}  // namespace tersify
