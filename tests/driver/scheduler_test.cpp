// The scheduler's promises hold whatever the formatter: effects come in list
// order whichever file finishes first, the first failure is reported after
// every earlier file's effect and before any later one, a failure cancels
// the work in flight, and a file met again reads what its earlier turn
// wrote. A stand-in formatter that is slow, fails or stalls on markers in
// the text lets each case run on real files in milliseconds, for one job
// (the plain pipeline) and for many, with files taken one or a group at a
// time.

#include "driver/scheduler.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "driver/result_cache.h"
#include "support/temp_dir.h"

namespace tersify::driver {
namespace {

constexpr std::string_view formatted_mark = "// formatted\n";

// Puts formatted_mark in front of a text that lacks it. "fail here" fails,
// "stall here" waits until cancelled, "slow N" takes N milliseconds, "after
// a stall" first waits until another text stalls, "edit PATH" (a last line)
// appends a line to the file PATH while it is formatted, "edit once PATH"
// only when the file has no line so added.
struct StandIn : Formatter {
  void format(std::span<const FormatRequest> requests, const Cancellation* cancel, const FormatDone& done) override {
    {
      std::lock_guard lock(mutex);
      calls.push_back(requests.size());
    }
    for (std::size_t i = 0; i < requests.size(); ++i) done(i, answer(requests[i].text, cancel));
  }
  TextsAtOnce texts_at_once() const override { return {group, group_bytes}; }

  Result<std::string> answer(std::string_view text, const Cancellation* cancel) {
    {
      std::lock_guard lock(mutex);
      inputs.emplace_back(text);
    }
    if (text.find("after a stall") != std::string_view::npos) {
      for (int i = 0; i < 10000 && stalls == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (text.find("fail here") != std::string_view::npos) return fail("error: refused\n");
    if (text.find("stall here") != std::string_view::npos) {
      ++stalls;
      pollfd watched{cancel != nullptr ? cancel->fd() : -1, POLLIN, 0};
      if (cancel != nullptr && ::poll(&watched, 1, 20000) == 1) ++cancelled;
      return fail("cancelled");
    }
    if (auto slow = text.find("slow "); slow != std::string_view::npos) {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(std::string(text.substr(slow + 5)))));
    }
    if (auto edit = text.find("edit "); edit != std::string_view::npos) {
      std::string path(text.substr(edit + 5, text.find('\n', edit) - edit - 5));
      bool once = path.starts_with("once ");
      if (once) path.erase(0, 5);
      std::ifstream in(path);
      std::string now((std::istreambuf_iterator<char>(in)), {});
      if (!once || now.find("// edited") == std::string::npos) std::ofstream(path, std::ios::app) << "// edited\n";
    }
    if (text.starts_with(formatted_mark)) return std::string(text);
    return std::string(formatted_mark) + std::string(text);
  }
  int inputs_equal_to(const std::string& text) {
    std::lock_guard lock(mutex);
    return static_cast<int>(std::count(inputs.begin(), inputs.end(), text));
  }

  std::size_t group = 1;
  std::size_t group_bytes = SIZE_MAX;
  std::mutex mutex;
  std::vector<std::string> inputs;
  std::vector<std::size_t> calls;  // the texts of each call
  std::atomic<int> stalls{0};
  std::atomic<int> cancelled{0};
};

struct Outcome {
  Status status;
  std::vector<std::string> reformat_list;
  std::vector<std::string> told;  // on_effect's calls: the path, then "+" when it changed
};

// The edition is given, so that no cargo runs.
struct Way {
  unsigned jobs;
  std::size_t group = 1;
  std::size_t group_bytes = SIZE_MAX;
  std::string name() const {
    return "jobs " + std::to_string(jobs) + ", groups of " + std::to_string(group) +
           (group_bytes != SIZE_MAX ? " and " + std::to_string(group_bytes) + " bytes" : "");
  }
};

// The last one: groups that the bytes bound, not the count.
const Way ways[] = {{1, 1}, {3, 1}, {16, 1}, {1, 4}, {3, 4}, {2, 512, 40}};

Outcome run_files(const std::vector<std::string>& files, bool check, Way way, StandIn& formatter,
                  const ResultCache* cache = nullptr) {
  formatter.group = way.group;
  formatter.group_bytes = way.group_bytes;
  EditionMap editions;
  FileRunCounts counts;
  ReformatList reformat_list;
  Outcome outcome;
  EffectOptions options{
      check, {}, {}, [&](const std::string& path, bool changed) { outcome.told.push_back(path + (changed ? "+" : "")); }};
  const Pipeline pipeline{formatter, !check, cache};
  FileEffects effects(options, pipeline, reformat_list, counts);
  const Environment environment;
  SettingsLookup lookup(environment, {"2021", 160}, editions);
  outcome.status = process_in_list_order(files, way.jobs, lookup, pipeline, effects);
  for (const auto& file : reformat_list.files) outcome.reformat_list.push_back(file.listed_path);
  return outcome;
}

TEST(Scheduler, EffectsComeInListOrderWhicheverFileFinishesFirst) {
  for (const Way& way : ways) {
    for (bool check : {false, true}) {
      SCOPED_TRACE(way.name() + (check ? ", check" : ", write"));
      test::TempDir dir;
      std::vector<std::string> files;
      // Earlier files take longer, so that they finish last.
      for (int i = 0; i < 12; ++i) {
        std::string name("f");
        name.append(std::to_string(10 + i)).append(".rs");
        std::string text = "// slow ";
        text.append(std::to_string((12 - i) * 2)).append("\n");
        dir.write(name, text);
        files.push_back(dir / name);
      }
      StandIn formatter;
      auto outcome = run_files(files, check, way, formatter);
      ASSERT_TRUE(outcome.status) << outcome.status.error();
      EXPECT_EQ(outcome.reformat_list, check ? files : std::vector<std::string>{});
      std::vector<std::string> told;
      for (const auto& file : files) told.push_back(file + "+");
      EXPECT_EQ(outcome.told, told);
      for (const auto& file : files) {
        EXPECT_EQ(dir.read(file.substr(dir.path().size() + 1)).starts_with(formatted_mark), !check) << file;
      }
    }
  }
}

TEST(Scheduler, FirstFailureComesAfterEveryEarlierEffectAndBeforeAnyLaterOne) {
  struct Case {
    const char* name;
    void (*make)(const test::TempDir& dir);  // makes c.rs fail
    std::string message;                     // after "{path of c.rs}: "
  };
  const Case cases[] = {
      {"formatter fails", [](const test::TempDir& dir) { dir.write("c.rs", "// fail here\n"); }, "error: refused\n"},
      {"not UTF-8", [](const test::TempDir& dir) { dir.write("c.rs", "// caf\xe9\n"); },
       "stream did not contain valid UTF-8"},
      {"not a file", [](const test::TempDir& dir) { dir.mkdir("c.rs"); }, "Is a directory (os error 21)"},
      {"gone", [](const test::TempDir&) {}, "No such file or directory (os error 2)"},
  };
  for (const auto& c : cases) {
    for (const Way& way : ways) {
      for (bool check : {false, true}) {
        SCOPED_TRACE(std::string(c.name) + ", " + way.name() + (check ? ", check" : ", write"));
        test::TempDir dir;
        dir.write("a.rs", "// slow 30\n");
        dir.write("b.rs", "// b\n");
        c.make(dir);
        for (const char* later : {"d.rs", "e.rs", "f.rs"}) dir.write(later, "// later\n");
        std::vector<std::string> files;
        for (const char* name : {"a.rs", "b.rs", "c.rs", "d.rs", "e.rs", "f.rs"}) files.push_back(dir / name);
        StandIn formatter;
        auto outcome = run_files(files, check, way, formatter);
        ASSERT_FALSE(outcome.status);
        EXPECT_EQ(outcome.status.error(), dir / "c.rs: " + c.message);
        auto reported = check ? std::vector<std::string>(files.begin(), files.begin() + 2) : std::vector<std::string>();
        EXPECT_EQ(outcome.reformat_list, reported);
        EXPECT_EQ(outcome.told, std::vector<std::string>({files[0] + "+", files[1] + "+"}));
        EXPECT_EQ(dir.read("a.rs").starts_with(formatted_mark), !check);
        EXPECT_EQ(dir.read("b.rs").starts_with(formatted_mark), !check);
        for (const char* later : {"d.rs", "e.rs", "f.rs"}) EXPECT_EQ(dir.read(later), "// later\n") << later;
      }
    }
  }
}

TEST(Scheduler, AFailureCancelsTheWorkInFlight) {
  for (const Way& way : {Way{4, 1}, Way{2, 2}}) {
    SCOPED_TRACE(way.name());
    test::TempDir dir;
    std::vector<std::string> files;
    dir.write("a.rs", "// after a stall\n// fail here\n");
    files.push_back(dir / "a.rs");
    for (const char* name : {"b.rs", "c.rs", "d.rs", "e.rs"}) {
      dir.write(name, "// stall here\n");
      files.push_back(dir / name);
    }
    StandIn formatter;
    auto outcome = run_files(files, false, way, formatter);
    ASSERT_FALSE(outcome.status);
    EXPECT_EQ(outcome.status.error(), dir / "a.rs: error: refused\n");
    int stalled = formatter.inputs_equal_to("// stall here\n");
    EXPECT_GT(stalled, 0) << "the later files were not in flight";
    EXPECT_EQ(formatter.cancelled.load(), stalled) << "every stalled file was cancelled, none ran out its wait";
  }
}

TEST(Scheduler, AFileMetAgainReadsWhatItsEarlierTurnWrote) {
  struct Case {
    const char* name;
    const char* second;  // the second name of a.rs in the list
    void (*make)(const test::TempDir& dir);
  };
  const Case cases[] = {
      {"listed twice", "a.rs", [](const test::TempDir&) {}},
      {"symbolic link", "link.rs", [](const test::TempDir& dir) { dir.symlink("a.rs", "link.rs"); }},
      {"hard link", "hard.rs",
       [](const test::TempDir& dir) { ASSERT_EQ(::link((dir / "a.rs").c_str(), (dir / "hard.rs").c_str()), 0); }},
  };
  const std::string original = "// slow 40\n";
  for (const auto& c : cases) {
    for (const Way& way : ways) {
      SCOPED_TRACE(std::string(c.name) + ", " + way.name());
      test::TempDir dir;
      dir.write("a.rs", original);
      dir.write("b.rs", "// b\n");
      c.make(dir);
      StandIn formatter;
      auto outcome = run_files({dir / "a.rs", dir / "b.rs", dir / c.second}, false, way, formatter);
      ASSERT_TRUE(outcome.status) << outcome.status.error();
      EXPECT_EQ(formatter.inputs_equal_to(original), 1) << "only the first turn may read the text as it was";
      EXPECT_EQ(dir.read("a.rs"), std::string(formatted_mark) + original);
    }
  }
}

// A file that changes while it is formatted at its turn is formatted again
// from what it holds then; one that keeps changing is given up on and left
// to the edits.
TEST(Scheduler, AFileChangedDuringItsTurnIsHandledAgain) {
  for (bool keeps_changing : {false, true}) {
    for (const Way& way : ways) {
      SCOPED_TRACE(std::string(keeps_changing ? "keeps changing, " : "changed once, ") + way.name());
      test::TempDir dir;
      const std::string text = "// a\n// edit " + std::string(keeps_changing ? "" : "once ") + (dir / "a.rs") + "\n";
      dir.write("a.rs", text);
      dir.write("b.rs", "// b\n");
      StandIn formatter;
      auto outcome = run_files({dir / "a.rs", dir / "b.rs"}, false, way, formatter);
      if (keeps_changing) {
        ASSERT_FALSE(outcome.status);
        EXPECT_EQ(outcome.status.error(), dir / "a.rs: kept changing while it was formatted; it is left as it is");
        EXPECT_TRUE(dir.read("a.rs").starts_with(text + "// edited\n// edited\n"));
        EXPECT_EQ(dir.read("b.rs"), "// b\n");
      } else {
        ASSERT_TRUE(outcome.status) << outcome.status.error();
        EXPECT_EQ(dir.read("a.rs"), std::string(formatted_mark) + text + "// edited\n");
      }
    }
  }
}

// Files the cache knows come back as they are read, in list order with the
// rest, while the files it does not know gather into a formatter's worth:
// texts that fit one group take at most one formatter call per job.
TEST(Scheduler, KnownFilesComeBackAsReadWhileTheOthersGatherForTheFormatter) {
  const Way cache_ways[] = {{1, 1}, {2, 1}, {1, 4}, {3, 4}, {2, 512}, {2, 512, 40}};
  for (const Way& way : cache_ways) {
    for (bool failing : {false, true}) {
      SCOPED_TRACE(way.name() + (failing ? ", one fails" : ""));
      test::TempDir dir;
      const Environment environment = read_environment();
      ResultCache cache(dir / "cache", environment);
      std::vector<std::string> files;
      for (int i = 0; i < 60; ++i) {
        files.push_back(dir / ("f" + std::to_string(100 + i) + ".rs"));
        dir.write(file_name(files.back()).value(), "fn f" + std::to_string(i) + "() {}\n");
      }
      StandIn formatter;
      ASSERT_TRUE(run_files(files, false, way, formatter, &cache).status);

      // Every fifth file is edited, one of them so that it fails. Each takes
      // a while to format, so that a worker's formatting lasts until the
      // others have taken their share.
      std::vector<std::string> expected_told;
      for (std::size_t i = 0; i < files.size(); ++i) {
        if (i % 5 == 2) {
          std::string name(file_name(files[i]).value());
          dir.write(name, dir.read(name) + (failing && i == 42 ? "// fail here\n" : "// edited\n// slow 5\n"));
        }
        if (!failing || i < 42) expected_told.push_back(files[i]);
      }
      StandIn again;
      auto outcome = run_files(files, true, way, again, &cache);
      EXPECT_EQ(outcome.status ? "" : outcome.status.error(), failing ? files[42] + ": error: refused\n" : "");
      EXPECT_EQ(outcome.told, expected_told);
      std::size_t formatted = 0;
      for (std::size_t texts : again.calls) {
        EXPECT_LE(texts, way.group);
        formatted += texts;
      }
      EXPECT_LE(formatted, std::size_t{12});
      if (way.group >= 12 && way.group_bytes == SIZE_MAX) {
        EXPECT_LE(again.calls.size(), way.jobs) << testing::PrintToString(again.calls);
      }
    }
  }
}

}  // namespace
}  // namespace tersify::driver
