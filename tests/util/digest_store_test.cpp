#include "util/digest_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"
#include "util/digest.h"

namespace tersify {
namespace {

namespace fs = std::filesystem;

std::string digest_of(int n) { return hex_digest(std::to_string(n)); }

TEST(DigestStore, EntriesAreThereWholeOrNotAtAll) {
  test::TempDir dir;
  DigestStore store(dir / "store", "magic 1");
  std::string entry = dir / ("store/" + digest_of(1).substr(0, 2) + "/" + digest_of(1));
  struct Case {
    const char* name;
    std::string contents;  // written over the entry; empty: left as added
    bool present;
  } cases[] = {
      {"as added", "", true},
      {"cut short", "magic 1\n", false},
      {"garbage", "\xff\xfe not an entry\n", false},
      {"another format's", "magic 2\n" + digest_of(1) + "\n", false},
      {"another digest's", "magic 1\n" + digest_of(2) + "\n", false},
  };
  EXPECT_FALSE(store.contains(digest_of(1)));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    store.add(digest_of(1));
    if (!c.contents.empty()) dir.write("store/" + digest_of(1).substr(0, 2) + "/" + digest_of(1), c.contents);
    EXPECT_EQ(store.contains(digest_of(1)), c.present);
  }
  EXPECT_TRUE(fs::exists(entry));
  // A folder that can't be made: adding fails quietly, nothing is there.
  dir.write("file", "");
  DigestStore blocked(dir / "file/store", "magic 1");
  blocked.add(digest_of(1));
  EXPECT_FALSE(blocked.contains(digest_of(1)));
}

TEST(DigestStore, PruningKeepsTheMostRecentlyUsedWithinTheLimit) {
  test::TempDir dir;
  DigestStore store(dir.path(), "magic 1");
  for (int n = 0; n < 40; ++n) {
    store.add(digest_of(n));
    // Older entries get older times; the oldest is used again now.
    fs::last_write_time(dir / (digest_of(n).substr(0, 2) + "/" + digest_of(n)),
                        fs::file_time_type::clock::now() - std::chrono::minutes(100 - n));
  }
  EXPECT_TRUE(store.contains(digest_of(0)));
  dir.write("ab/.tmp-left-by-a-killed-run", "");
  fs::last_write_time(dir / "ab/.tmp-left-by-a-killed-run", fs::file_time_type::clock::now() - std::chrono::hours(2));
  store.prune(20);
  int kept = 0;
  for (int n = 0; n < 40; ++n) kept += store.contains(digest_of(n)) ? 1 : 0;
  EXPECT_EQ(kept, 18);
  EXPECT_TRUE(store.contains(digest_of(0)));
  EXPECT_TRUE(store.contains(digest_of(39)));
  EXPECT_FALSE(store.contains(digest_of(1)));
  EXPECT_FALSE(dir.exists("ab/.tmp-left-by-a-killed-run"));
}

// Only regular files of the store are read or removed: a FIFO, a link to a
// device or an oversized file in an entry's place is a miss (at once), and
// pruning never enters a linked subfolder nor removes what a link names.
TEST(DigestStore, NothingButItsOwnFilesIsReadOrRemoved) {
  test::TempDir dir;
  DigestStore store(dir / "store", "magic 1");
  store.add(digest_of(0));
  auto entry = [&](int n) { return "store/" + digest_of(n).substr(0, 2) + "/" + digest_of(n); };
  dir.mkdir(entry(1).substr(0, entry(1).rfind('/')));
  ASSERT_EQ(::mkfifo((dir / entry(1)).c_str(), 0644), 0);
  dir.mkdir(entry(2).substr(0, entry(2).rfind('/')));
  fs::create_symlink("/dev/zero", dir / entry(2));
  dir.write(entry(3), "magic 1\n" + digest_of(3) + "\n" + std::string(1 << 20, 'x'));
  for (int n : {1, 2, 3}) EXPECT_FALSE(store.contains(digest_of(n))) << n;

  dir.write("outside/" + digest_of(4), "magic 1\n" + digest_of(4) + "\n");
  fs::remove_all(dir / entry(4).substr(0, entry(4).rfind('/')));
  fs::create_symlink(dir / "outside", dir / entry(4).substr(0, entry(4).rfind('/')));
  EXPECT_FALSE(store.contains(digest_of(4)));
  store.prune(0);
  EXPECT_TRUE(dir.exists("outside/" + digest_of(4)));
  EXPECT_FALSE(dir.exists(entry(0)));
  EXPECT_TRUE(fs::is_symlink(dir / entry(4).substr(0, entry(4).rfind('/'))));
}

// A value comes back exactly as put, or not at all once anything of the
// entry changed.
TEST(DigestStore, ValuesComeBackWholeOrNotAtAll) {
  test::TempDir dir;
  DigestStore store(dir.path(), "magic 1");
  const std::string value = "{\"answer\": 1}\n";
  const std::string path = digest_of(1).substr(0, 2) + "/" + digest_of(1);
  const std::string whole = "magic 1\n" + digest_of(1) + "\n" + hex_digest(value) + "\n" + value;
  struct Case {
    const char* name;
    std::string contents;  // written over the entry; empty: left as put
    bool found;
  } cases[] = {
      {"as put", "", true},
      {"cut short", whole.substr(0, whole.size() - 1), false},
      {"a byte of the value changed", whole.substr(0, whole.size() - 2) + "2\n", false},
      {"a presence entry", "magic 1\n" + digest_of(1) + "\n", false},
      {"garbage", "\xff garbage", false},
  };
  EXPECT_EQ(store.find(digest_of(1)), std::nullopt);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    store.put(digest_of(1), value);
    if (!c.contents.empty()) dir.write(path, c.contents);
    EXPECT_EQ(store.find(digest_of(1)), c.found ? std::optional(value) : std::nullopt);
  }
  store.put(digest_of(1), "replaced");
  EXPECT_EQ(store.find(digest_of(1)), "replaced");
}

}  // namespace
}  // namespace tersify
