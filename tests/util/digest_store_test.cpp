#include "util/digest_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

}  // namespace
}  // namespace tersify
