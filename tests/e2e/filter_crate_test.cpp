// tersify-rustfmt over the source files of a published crate (memchr, from
// Debian's registry: its rustfmt.toml sets a width, its edition is 2018):
// each file's text through the filter, run in the file's folder, must come
// out as cargo tersify writes that file.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "e2e/project.h"

namespace tersify::test {
namespace {

namespace fs = std::filesystem;

TEST(FilterOnACrate, EveryFileComesOutAsCargoTersifyWritesIt) {
  TempDir dir;
  // REGISTRY (Debian's registry by default) is the script's to read.
  auto copied = run_command({TERSIFY_SOURCE_DIR "/bench/corpus.sh", dir.path(), "memchr"});
  ASSERT_EQ(copied.status, 0) << copied.err << "(scripts/install-deps.sh --test installs the crate)";
  const fs::path crate = dir / "memchr";

  // Before cargo tersify rewrites them: the filter writes nothing.
  std::map<fs::path, std::string> filtered;
  std::size_t changed = 0;
  for (const auto& entry : fs::recursive_directory_iterator(crate / "src/memmem")) {
    if (!entry.is_regular_file() || entry.path().extension() != ".rs") continue;
    auto relative = fs::relative(entry.path(), crate);
    CommandOptions options = cwd_options(entry.path().parent_path());
    options.input = dir.read("memchr/" + relative.string());
    auto result = run_filter({}, options);
    ASSERT_EQ(result.status, 0) << relative << ": " << result.err;
    EXPECT_EQ(result.err, "");
    if (result.out != options.input) ++changed;
    filtered.emplace(relative, std::move(result.out));
  }
  ASSERT_GT(filtered.size(), 10u);
  EXPECT_GT(changed, filtered.size() / 2) << "the crate is not in the compact layout yet";

  auto written = tersify_in(crate, {"src/memmem"});
  ASSERT_EQ(written.status, 0) << written.err;
  for (const auto& [relative, text] : filtered) {
    EXPECT_EQ(text, dir.read("memchr/" + relative.string())) << relative;
  }
}

}  // namespace
}  // namespace tersify::test
