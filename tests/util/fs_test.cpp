#include "util/fs.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <chrono>
#include <thread>

#include "support/temp_dir.h"
#include "util/fd.h"
#include "util/io_error.h"

namespace tersify {
namespace {

TEST(FileIo, ReadsWholeTextAndRejectsInvalidUtf8) {
  test::TempDir dir;
  std::string big(300000, 'x');
  dir.write("big.rs", big);
  EXPECT_EQ(*read_text_file(dir / "big.rs"), big);

  dir.write("bad.rs", "fn main() {}\xff\n");
  auto bad = read_text_file(dir / "bad.rs");
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error(), "stream did not contain valid UTF-8");

  auto missing = read_text_file_detailed(dir / "missing.rs");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().errnum, ENOENT);
  EXPECT_EQ(missing.error().message, "No such file or directory (os error 2)");

  auto directory = read_text_file(dir.path());
  ASSERT_FALSE(directory);
  EXPECT_EQ(directory.error(), "Is a directory (os error 21)");
}

// A file that grew or shrank since its size was taken is read whole all the
// same, and nothing but its bytes comes back.
TEST(FileIo, ReadAllKeepsOnlyTheBytesReadWhateverTheSizeExpected) {
  test::TempDir dir;
  std::string text(70000, 'x');
  for (std::size_t i = 0; i < text.size(); i += 97) text[i] = static_cast<char>('a' + i % 26);
  dir.write("f.rs", text);
  for (std::size_t expected : {std::size_t{0}, std::size_t{1}, std::size_t{4095}, text.size(), text.size() + 1,
                               4 * text.size()}) {
    Fd fd(::open((dir / "f.rs").c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(fd.valid());
    auto read = read_all(fd.get(), expected);
    ASSERT_TRUE(read) << expected;
    EXPECT_EQ(*read, text) << expected;
  }
  dir.write("empty.rs", "");
  Fd empty(::open((dir / "empty.rs").c_str(), O_RDONLY | O_CLOEXEC));
  EXPECT_EQ(*read_all(empty.get(), 10), "");
}

TEST(FileIo, WriteTruncatesAndKeepsSymbolicLinks) {
  test::TempDir dir;
  dir.write("target.rs", "a much longer original text\n");
  dir.symlink("target.rs", "link.rs");
  ASSERT_TRUE(write_file(dir / "link.rs", "short\n"));
  EXPECT_EQ(dir.read("target.rs"), "short\n");
  EXPECT_EQ(file_kind(dir / "link.rs"), FileKind::regular);

  auto failed = write_file(dir / "no/such/dir/x.rs", "x");
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error(), io_error_text(ENOENT));
}

TEST(FileIo, CanonicalPathResolvesLinksAndFailsForEmptyOrMissing) {
  test::TempDir dir;
  dir.write("real/file.rs", "");
  dir.symlink("real", "alias");
  auto real = canonical_path(dir / "real/file.rs");
  ASSERT_TRUE(real);
  EXPECT_EQ(*canonical_path(dir / "alias/../alias/./file.rs"), *real);
  EXPECT_EQ(canonical_path("").error(), "No such file or directory (os error 2)");
  EXPECT_FALSE(canonical_path(dir / "missing"));
}

TEST(FileIo, KindFollowsLinks) {
  test::TempDir dir;
  dir.mkdir("d");
  dir.symlink("d", "dlink");
  dir.symlink("nowhere", "dangling");
  EXPECT_EQ(file_kind(dir / "d"), FileKind::directory);
  EXPECT_EQ(file_kind(dir / "dlink"), FileKind::directory);
  EXPECT_FALSE(file_kind(dir / "dangling").has_value());
  EXPECT_EQ(file_kind("/dev/null"), FileKind::other);

  // One lstat says what file_kind and file_identity say, and whether the
  // name is a link.
  dir.write("f.rs", "");
  dir.symlink("f.rs", "flink.rs");
  for (const char* name : {"d", "dlink", "dangling", "f.rs", "flink.rs", "missing"}) {
    auto entry = path_entry(dir / name);
    EXPECT_EQ(entry.kind, file_kind(dir / name)) << name;
    EXPECT_EQ(entry.identity, file_identity(dir / name)) << name;
    EXPECT_EQ(entry.present, std::string(name) != "missing") << name;
    EXPECT_EQ(entry.link, std::string(name).find("link") != std::string::npos || std::string(name) == "dangling")
        << name;
  }
}

// A file's state changes with every write once the clock has moved past
// its last change, even a write that keeps its size.
TEST(FileIo, StateTellsAWriteOfTheSameSize) {
  test::TempDir dir;
  dir.write("a.rs", "fn a() {}\n");
  std::optional<FileState> first;
  for (int wait = 0; wait < 100; ++wait) {
    std::int64_t before_look = coarse_clock_ns();
    first = file_state(dir / "a.rs");
    ASSERT_TRUE(first.has_value());
    if (file_state_tells_changes(*first, before_look)) break;
    first.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(first.has_value()) << "the clock never moved past the write";
  EXPECT_EQ(file_state(dir / "a.rs"), first);
  dir.write("a.rs", "fn b() {}\n");
  auto second = file_state(dir / "a.rs");
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->size, first->size);
  EXPECT_NE(second, first);
}

}  // namespace
}  // namespace tersify
