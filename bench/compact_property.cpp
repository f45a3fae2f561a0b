// tersify-compact-property: runs the compaction pass over the Rust sources of
// real crates, formatted by rustfmt as the tool formats them, and checks that
// it never changes what the code means.
//
//   tersify-compact-property [--width N] [--repeat K] [--skipped] CRATE_DIR ...
//
// Each CRATE_DIR is a package root; its edition is read from the `edition`
// line of its Cargo.toml (2015 when there is none). Every `.rs` file below it
// goes through `rustfmt --edition E --emit stdout --config max_width=N,...`
// (files rustfmt rejects are skipped and counted), then through `compact`,
// whose output must be byte for byte what the rounds that parse each text
// again give (the reference engine), be valid UTF-8, pass the token check and
// hold no line wider than the width that rustfmt's output does not hold too. A crash is
// reported with the file being compacted. The figures at the end give the
// coverage and the time spent in `compact` alone (each file compacted K times
// when --repeat is given, for steadier timing). With --skipped, only the files
// that name rustfmt's skip attribute are checked, and each node such an
// attribute leaves alone must also come out of `compact` as rustfmt gave it
// (skipped_nodes.h). Exit status 1 when a file fails, 2 on a usage error.

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "compact/compact.h"
#include "discovery/source_files.h"
#include "support/round_engine.h"
#include "skipped_nodes.h"
#include "token_sequence.h"
#include "util/fs.h"
#include "util/text.h"

namespace {

// The file under compaction, for the crash report. Fixed storage so that the
// signal handler only reads it.
char current_file[4096];

extern "C" char** environ;

extern "C" void report_crash(int signal_number) {
  const char prefix[] = "crash while compacting ";
  [[maybe_unused]] auto a = ::write(STDERR_FILENO, prefix, sizeof prefix - 1);
  [[maybe_unused]] auto b = ::write(STDERR_FILENO, current_file, std::strlen(current_file));
  [[maybe_unused]] auto c = ::write(STDERR_FILENO, "\n", 1);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void set_current_file(const std::string& path) {
  std::size_t n = std::min(path.size(), sizeof current_file - 1);
  std::memcpy(current_file, path.data(), n);
  current_file[n] = '\0';
}

// The `edition = "..."` line of the manifest; Cargo's default otherwise.
std::string crate_edition(const std::string& crate_dir) {
  std::ifstream manifest(crate_dir + "/Cargo.toml");
  std::string line;
  bool in_package = false;
  while (std::getline(manifest, line)) {
    std::string_view l = tersify::trim_whitespace(line);
    if (l.starts_with('[')) in_package = (l == "[package]");
    if (!in_package || !l.starts_with("edition")) continue;
    auto open = l.find('"');
    auto close = l.rfind('"');
    if (open != std::string_view::npos && close > open) return std::string(l.substr(open + 1, close - open - 1));
  }
  return "2015";
}

// Runs rustfmt as the tool does, with the file as standard input; its output
// goes to `scratch`. True when rustfmt succeeded.
bool run_rustfmt(const std::string& path, const std::string& edition, std::size_t width, const std::string& scratch) {
  std::string config = "max_width=" + std::to_string(width) + ",use_small_heuristics=Max,disable_all_formatting=false";
  std::vector<std::string> args = {"rustfmt", "--edition", edition, "--emit", "stdout", "--config", config};
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, "rustfmt", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    std::fprintf(stderr, "can't start rustfmt: %s\n", std::strerror(rc));
    std::exit(2);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Figures {
  std::size_t files = 0;
  std::size_t bytes = 0;
  std::size_t rejected = 0;
  std::size_t not_utf8 = 0;
  std::size_t failed = 0;
  std::size_t changed = 0;
  std::chrono::nanoseconds compact_time{0};
  std::chrono::nanoseconds parse_time{0};  // one tree-sitter parse and walk per file
  std::size_t parses = 0;
  std::size_t reference_parses = 0;  // parses of the rounds that parse each text again
  std::size_t macro_commas = 0;
  std::size_t skip_files = 0;          // files holding a skipped node
  std::size_t skipped_nodes = 0;       // outermost skipped nodes in them
  std::size_t skip_words_no_node = 0;  // files naming the attribute without a skipped node
};

bool names_skip_attribute(std::string_view text) {
  return text.find("rustfmt::skip") != std::string_view::npos || text.find("rustfmt_skip") != std::string_view::npos;
}

// The first line of `compacted` wider than `width` bytes that rustfmt did not
// leave that wide, as a verdict; empty when there is none. Compaction may
// keep the long lines rustfmt leaves, and the else splitting may move the
// tail of one onto a line of its own ("} else if ..." becomes "else if ..."
// at the if's column), but it never makes a long line.
std::string line_over_width(std::string_view formatted, std::string_view compacted, std::size_t width) {
  auto lines_of = [](std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
      std::size_t end = std::min(text.find('\n', at), text.size());
      std::string_view line = text.substr(at, end - at);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines.push_back(line);
      at = end + 1;
    }
    return lines;
  };
  std::vector<std::string_view> long_rustfmt_lines;
  for (std::string_view line : lines_of(formatted)) {
    if (line.size() > width) long_rustfmt_lines.push_back(line);
  }
  std::vector<std::string_view> lines = lines_of(compacted);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (line.size() <= width) continue;
    std::string_view content = tersify::trim_start_whitespace(line);
    if (std::any_of(long_rustfmt_lines.begin(), long_rustfmt_lines.end(), [&](std::string_view rustfmt_line) {
          return rustfmt_line.size() >= line.size() && rustfmt_line.ends_with(content);
        })) {
      continue;
    }
    return "line " + std::to_string(i + 1) + " is " + std::to_string(line.size()) + " bytes wide, over the width " +
           std::to_string(width) + ": " + std::string(line.substr(0, 200));
  }
  return {};
}

void check_file(const std::string& path, const std::string& edition, std::size_t width, int repeat, bool skipped_only,
                const std::string& scratch, Figures& figures) {
  auto source = tersify::read_text_file(path);
  if (!source) {
    ++figures.not_utf8;
    return;
  }
  if (skipped_only && !names_skip_attribute(*source)) return;
  if (!run_rustfmt(path, edition, width, scratch)) {
    ++figures.rejected;
    return;
  }
  auto output = tersify::read_file(scratch);
  if (!output) {
    std::fprintf(stderr, "%s: %s\n", scratch.c_str(), output.error().c_str());
    std::exit(2);
  }
  std::string formatted = tersify::lossy_utf8(*output);

  set_current_file(path);
  std::string compacted;
  auto start = std::chrono::steady_clock::now();
  tersify::compact::CompactStats stats;
  for (int k = 0; k < repeat; ++k) compacted = tersify::compact::compact(formatted, width, stats);
  figures.parses += stats.parses;
  figures.compact_time += std::chrono::steady_clock::now() - start;
  set_current_file("(none)");

  ++figures.files;
  figures.bytes += formatted.size();
  if (compacted != formatted) ++figures.changed;
  std::string verdict;
  tersify::reference::RoundStats reference_stats;
  std::string reference = tersify::reference::compact_in_rounds(formatted, width, 1, reference_stats);
  figures.reference_parses += reference_stats.parses;
  if (reference != compacted) {
    std::size_t at = 0;
    while (at < reference.size() && at < compacted.size() && reference[at] == compacted[at]) ++at;
    verdict = "differs from the reference engine at byte " + std::to_string(at) + ": \"" +
              compacted.substr(at, 80) + "\" against \"" + reference.substr(at, 80) + "\"";
  } else if (!tersify::is_valid_utf8(compacted)) {
    verdict = "output is not valid UTF-8";
  } else {
    auto parse_start = std::chrono::steady_clock::now();
    auto before = tersify::proof::summarize_tokens(formatted);
    figures.parse_time += std::chrono::steady_clock::now() - parse_start;
    auto comparison = tersify::proof::compare_token_summaries(before, tersify::proof::summarize_tokens(compacted));
    figures.macro_commas += comparison.macro_commas_dropped;
    verdict = std::move(comparison.violation);
    if (verdict.empty()) verdict = line_over_width(formatted, compacted, width);
  }
  if (skipped_only && verdict.empty()) {
    tersify::proof::SkippedCheck skipped = tersify::proof::check_skipped_nodes(formatted, compacted);
    figures.skipped_nodes += skipped.nodes;
    ++(skipped.nodes > 0 ? figures.skip_files : figures.skip_words_no_node);
    verdict = std::move(skipped.violation);
  }
  if (!verdict.empty()) {
    std::printf("%s: %s\n", path.c_str(), verdict.c_str());
    ++figures.failed;
  }
}

int usage(const char* program) {
  std::fprintf(stderr, "usage: %s [--width N] [--repeat K] [--skipped] CRATE_DIR ...\n", program);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(sig, report_crash);

  std::size_t width = 160;
  int repeat = 1;
  bool skipped_only = false;
  std::vector<std::string> crates;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if ((arg == "--width" || arg == "--repeat") && i + 1 < argc) {
      auto value = tersify::parse_unsigned(argv[++i]);
      if (!value || *value == 0) return usage(argv[0]);
      if (arg == "--width") {
        width = static_cast<std::size_t>(*value);
      } else {
        repeat = static_cast<int>(std::min<std::uint64_t>(*value, 1000));
      }
    } else if (arg == "--skipped") {
      skipped_only = true;
    } else if (arg.starts_with("--")) {
      return usage(argv[0]);
    } else {
      crates.emplace_back(arg);
    }
  }
  if (crates.empty()) return usage(argv[0]);

  char scratch_template[] = "/tmp/tersify-property-XXXXXX";
  int scratch_fd = ::mkstemp(scratch_template);
  if (scratch_fd < 0) {
    std::perror("mkstemp");
    return 2;
  }
  ::close(scratch_fd);
  const std::string scratch = scratch_template;

  Figures figures;
  for (const auto& crate : crates) {
    if (tersify::file_kind(crate + "/Cargo.toml") != tersify::FileKind::regular) {
      std::fprintf(stderr, "%s: no Cargo.toml\n", crate.c_str());
      return 2;
    }
    std::string edition = crate_edition(crate);
    std::vector<std::string> files;
    if (auto listed = tersify::discovery::rs_files(crate, files); !listed) {
      std::fprintf(stderr, "%s\n", listed.error().c_str());
      return 2;
    }
    for (const auto& file : files) check_file(file, edition, width, repeat, skipped_only, scratch, figures);
  }
  ::unlink(scratch.c_str());

  double seconds = std::chrono::duration<double>(figures.compact_time).count();
  double megabytes = static_cast<double>(figures.bytes) * static_cast<double>(repeat) / 1e6;
  std::printf("compact property: %zu files, %zu bytes of formatted text, %zu changed by compact, %zu rejected by rustfmt, "
              "%zu not UTF-8, %zu failed\n",
              figures.files, figures.bytes, figures.changed, figures.rejected, figures.not_utf8, figures.failed);
  std::printf("compact alone: %.3f s for %d pass(es) over the corpus, %.1f MB/s\n", seconds, repeat,
              seconds > 0 ? megabytes / seconds : 0.0);
  std::printf("commas dropped before \"}\" inside macro token trees: %zu\n", figures.macro_commas);
  auto per_file = [&](std::size_t count) {
    return figures.files > 0 ? static_cast<double>(count) / static_cast<double>(figures.files) : 0.0;
  };
  std::printf("one tree-sitter parse of every file (for scale): %.3f s; parses per file in compact: %.2f "
              "(the reference engine: %.2f)\n",
              std::chrono::duration<double>(figures.parse_time).count(), per_file(figures.parses),
              per_file(figures.reference_parses));
  if (skipped_only) {
    std::printf("skipped nodes kept: %zu in %zu files; %zu files name the attribute without a skipped node\n",
                figures.skipped_nodes, figures.skip_files, figures.skip_words_no_node);
  }
  return figures.failed == 0 ? 0 : 1;
}
