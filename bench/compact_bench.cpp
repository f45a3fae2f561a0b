// Throughput of the compaction pass over real Rust code, against the floor
// that tree-sitter's own parsing sets.
//
//   compact_bench [--width N] [--repeat K] [--reference] [--compact-only] [--check] PATH...
//
// The pass is made for formatter output, so the .rs files below the paths
// should be rustfmt's output with the tool's configuration (compact.sh
// prepares such a corpus). Each text is compacted and, separately, parsed
// once, K times each; the ratio compact / parse shows what the pass costs
// against one parse of each text. --reference times the rounds that parse
// each text again instead (the engine before one tree), --compact-only leaves
// the bare parses out (for the peak memory of compaction alone). --check
// only compares the pass with the reference engine on every text, at the
// width and with tabs of 1, 4 and 0 columns, without timing: the texts need
// not be rustfmt's output for that, and each that differs is named (status 1).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "compact/compact.h"
#include "compact/syntax_tree.h"
#include "support/round_engine.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string read_whole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::filesystem::path> rust_files(const std::vector<std::string>& roots) {
  std::vector<std::filesystem::path> files;
  for (const std::string& root : roots) {
    if (std::filesystem::is_regular_file(root)) {
      files.emplace_back(root);
      continue;
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
      if (entry.is_regular_file() && entry.path().extension() == ".rs") files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

struct Sample {
  std::filesystem::path path;
  std::string text;
  std::size_t rounds = 0;
  std::size_t parses = 0;
  double compact_seconds = 0;
  double parse_seconds = 0;
};

int usage() {
  std::fprintf(stderr,
               "usage: compact_bench [--width N] [--repeat K] [--reference] [--compact-only] [--check] PATH...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t width = 160;
  int repeat = 3;
  bool reference = false;
  bool compact_only = false;
  bool check = false;
  std::vector<std::string> roots;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--width" && i + 1 < argc) {
      width = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--repeat" && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--reference") {
      reference = true;
    } else if (arg == "--compact-only") {
      compact_only = true;
    } else if (arg == "--check") {
      check = true;
    } else if (arg.starts_with("--")) {
      return usage();
    } else {
      roots.push_back(arg);
    }
  }
  if (roots.empty()) return usage();

  std::vector<Sample> samples;
  for (const auto& path : rust_files(roots)) {
    std::string text = read_whole(path);
    samples.push_back({path, std::move(text)});
  }
  if (samples.empty()) {
    std::fprintf(stderr, "compact_bench: no usable .rs files\n");
    return 1;
  }

  if (check) {
    std::size_t differing = 0;
    for (const Sample& sample : samples) {
      for (std::size_t tab_width : {1u, 4u, 0u}) {
        tersify::compact::Compaction compaction{sample.text, width, tab_width};
        if (compaction.result() != tersify::reference::compact_in_rounds(sample.text, width, tab_width)) {
          std::printf("%s: differs from the reference at width %zu, tab width %zu\n", sample.path.c_str(), width,
                      tab_width);
          ++differing;
        }
      }
    }
    std::printf("%zu texts at width %zu: %zu differ from the reference engine\n", samples.size(), width, differing);
    return differing == 0 ? 0 : 1;
  }

  std::size_t bytes = 0;
  std::size_t output_bytes = 0;
  for (int k = 0; k < repeat; ++k) {
    for (Sample& sample : samples) {
      Clock::time_point start = Clock::now();
      std::string result;
      if (reference) {
        tersify::reference::RoundStats stats;
        result = tersify::reference::compact_in_rounds(sample.text, width, 1, stats);
        sample.rounds = stats.rounds;
        sample.parses = stats.parses;
      } else {
        tersify::compact::CompactStats stats;
        result = tersify::compact::compact(sample.text, width, stats);
        sample.rounds = stats.rounds;
        sample.parses = stats.parses;
      }
      sample.compact_seconds += seconds_since(start);
      if (k == 0) output_bytes += result.size();
      if (compact_only) continue;

      start = Clock::now();
      {
        tersify::compact::TreePtr tree = tersify::compact::parse_text(sample.text);
      }
      sample.parse_seconds += seconds_since(start);
    }
  }

  double compact_seconds = 0, parse_seconds = 0;
  std::size_t rounds = 0, parses = 0;
  for (const Sample& sample : samples) {
    bytes += sample.text.size();
    compact_seconds += sample.compact_seconds;
    parse_seconds += sample.parse_seconds;
    rounds += sample.rounds;
    parses += sample.parses;
  }
  double megabytes = static_cast<double>(bytes) * repeat / 1e6;
  double texts = static_cast<double>(samples.size());
  std::printf("engine           %s\n", reference ? "reference (every round parses again)" : "one tree");
  std::printf("files            %zu\n", samples.size());
  std::printf("bytes            %zu in, %zu out (width %zu)\n", bytes, output_bytes, width);
  std::printf("compact          %.3f s for %d passes, %.2f MB/s\n", compact_seconds, repeat,
              megabytes / compact_seconds);
  std::printf("rounds           %.2f per text\n", static_cast<double>(rounds) / texts);
  std::printf("parses           %.2f per text\n", static_cast<double>(parses) / texts);
  if (!compact_only) {
    std::printf("bare parse       %.3f s for %d passes, %.2f MB/s\n", parse_seconds, repeat,
                megabytes / parse_seconds);
    std::printf("ratio            %.3f  compact / one parse of each text\n", compact_seconds / parse_seconds);
  }
  return 0;
}
