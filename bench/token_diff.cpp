// tersify-token-check: checks that compacted Rust sources keep the tokens of
// their originals.
//
//   tersify-token-check ORIGINAL COMPACTED
//
// ORIGINAL and COMPACTED are two files, or two directory trees whose `.rs`
// files are paired by their path below each root. For every pair the leaf
// tokens must be equal apart from "," dropped before "}", every literal must
// keep its bytes and the output must not have more parse errors. One line is
// printed per failing file; the status is 0 when all pass, 1 when one fails
// and 2 when the arguments or files can't be read. A summary on standard
// error also counts the commas dropped inside macro token trees, the one
// legal change that a macro could tell apart.

#include <cstdio>
#include <string>
#include <vector>

#include "discovery/source_files.h"
#include "token_sequence.h"
#include "util/fs.h"

namespace {

using tersify::FileKind;

struct Totals {
  std::size_t files = 0;
  std::size_t failed = 0;
  std::size_t macro_commas = 0;
  bool unreadable = false;
};

void check_pair(const std::string& original, const std::string& compacted, const std::string& shown, Totals& totals) {
  ++totals.files;
  auto before = tersify::read_file(original);
  auto after = tersify::read_file(compacted);
  if (!before || !after) {
    std::printf("%s: can't read: %s\n", shown.c_str(), (!before ? before.error() : after.error()).c_str());
    ++totals.failed;
    totals.unreadable = true;
    return;
  }
  auto comparison = tersify::proof::check_compaction(*before, *after);
  totals.macro_commas += comparison.macro_commas_dropped;
  if (!comparison.violation.empty()) {
    std::printf("%s: %s\n", shown.c_str(), comparison.violation.c_str());
    ++totals.failed;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s ORIGINAL COMPACTED (two files or two directories)\n", argv[0]);
    return 2;
  }
  const std::string original = argv[1];
  const std::string compacted = argv[2];
  auto original_kind = tersify::file_kind(original);
  auto compacted_kind = tersify::file_kind(compacted);
  if (!original_kind || !compacted_kind || *original_kind != *compacted_kind || *original_kind == FileKind::other) {
    std::fprintf(stderr, "%s, %s: need two regular files or two directories\n", original.c_str(), compacted.c_str());
    return 2;
  }

  Totals totals;
  if (*original_kind == FileKind::regular) {
    check_pair(original, compacted, compacted, totals);
  } else {
    std::vector<std::string> files;
    if (auto listed = tersify::discovery::rs_files(original, files); !listed) {
      std::fprintf(stderr, "%s\n", listed.error().c_str());
      return 2;
    }
    for (const auto& file : files) {
      // rs_files joins the argument and the entry names, so the prefix is exact.
      std::string relative = file.substr(original.size());
      if (!relative.starts_with('/')) relative = "/" + relative;
      check_pair(file, compacted + relative, compacted + relative, totals);
    }
  }
  std::fprintf(stderr, "token check: %zu files, %zu failed; %zu commas dropped before \"}\" inside macro token trees\n",
               totals.files, totals.failed, totals.macro_commas);
  if (totals.unreadable) return 2;
  return totals.failed == 0 ? 0 : 1;
}
