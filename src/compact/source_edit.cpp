#include "compact/source_edit.h"

#include <algorithm>

#include "util/fatal.h"

namespace tersify::compact {
namespace {

bool is_char_boundary(std::string_view text, std::size_t offset) {
  return offset == text.size() || (static_cast<unsigned char>(text[offset]) & 0xC0) != 0x80;
}

void check_edit(std::string_view text, const SourceEdit& edit) {
  if (edit.end > text.size() || edit.start > edit.end || !is_char_boundary(text, edit.start) ||
      !is_char_boundary(text, edit.end)) {
    internal_error("edit " + std::to_string(edit.start) + ".." + std::to_string(edit.end) +
                   " is reversed, runs past the end or splits a character of a text of " +
                   std::to_string(text.size()) + " bytes");
  }
}

// One replacement after another on the copy, each checked against the copy as
// it stands: the literal meaning of the edit list, kept for lists that break
// the no-overlap promise.
std::string apply_in_place(std::string_view text, const std::vector<SourceEdit>& sorted) {
  std::string copy(text);
  for (const SourceEdit& edit : sorted) {
    check_edit(copy, edit);
    copy.replace(edit.start, edit.end - edit.start, edit.replacement);
  }
  return copy;
}

}  // namespace

std::string apply_edits(std::string_view text, std::vector<SourceEdit> edits) {
  if (edits.size() >= 2) {
    std::stable_sort(edits.begin(), edits.end(),
                     [](const SourceEdit& a, const SourceEdit& b) { return a.start > b.start; });
  }
  for (std::size_t i = 1; i < edits.size(); ++i) {
    if (edits[i].end > edits[i - 1].start) return apply_in_place(text, edits);
  }
  // Disjoint ranges: every edit still sees the input's bytes in front of the
  // ones changed so far, so the copy can be assembled front to back in one
  // pass instead of moving the tail once per edit.
  std::size_t size = text.size();
  for (const SourceEdit& edit : edits) {
    check_edit(text, edit);
    size = size - (edit.end - edit.start) + edit.replacement.size();
  }
  std::string copy;
  copy.reserve(size);
  std::size_t done = 0;
  for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
    copy.append(text.substr(done, it->start - done));
    copy.append(it->replacement);
    done = it->end;
  }
  copy.append(text.substr(done));
  return copy;
}

}  // namespace tersify::compact
