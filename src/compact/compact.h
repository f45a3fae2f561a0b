#pragma once
// The compaction pass: packs rustfmt's output into the tool's layout.

#include <cstddef>
#include <string>
#include <string_view>

#include <memory>

#include "compact/syntax_tree.h"

namespace tersify::compact {

// Up to five rounds of joining short multi-line constructs that fit within
// `max_width` bytes, then `else` moved onto lines of its own in statement if
// chains. Never fails; the input is only read.
std::string compact(std::string_view text, std::size_t max_width);

struct CompactStats {
  std::size_t rounds = 0;  // joining rounds run, 1 to 5
  std::size_t parses = 0;  // texts parsed: 1, and one more after each round whose joins may parse otherwise
};

// compact, also telling how many rounds it took.
std::string compact(std::string_view text, std::size_t max_width, CompactStats& stats);

class JoinRounds;

// compact taken one step at a time, so that the caller can look between the
// steps whether its work was cancelled. Each step() runs one joining round
// (the first parses the text) or, last, the else splitting; the result is
// exactly compact()'s. With `tab_width` above 1 (rustfmt's hard tabs), a tab
// counts as that many columns of a joined line.
class Compaction {
 public:
  Compaction(std::string text, std::size_t max_width, std::size_t tab_width = 1);
  ~Compaction();
  Compaction(const Compaction&) = delete;
  Compaction& operator=(const Compaction&) = delete;

  // Runs the next step; gives whether compaction is now finished.
  bool step();
  bool finished() const { return finished_; }
  // The size of the text being worked on.
  std::size_t text_size() const { return working_.size(); }
  // Joining rounds run so far.
  std::size_t rounds() const { return rounds_; }
  // Texts parsed so far.
  std::size_t parses() const { return parses_; }
  // The compacted text; moves it out. Runs the remaining steps first.
  std::string result();

 private:
  std::string working_;
  std::size_t max_width_;
  std::size_t tab_width_;
  std::size_t rounds_ = 0;
  std::size_t parses_ = 0;
  bool joining_done_ = false;
  bool finished_ = false;
  // The tree of `working_` once parsed, and the rounds decided on it; both
  // are replaced when a round's joins must be parsed again.
  TreePtr tree_;
  std::unique_ptr<JoinRounds> joins_;
};

}  // namespace tersify::compact
