#include "util/unified_diff.h"

#include <dtl/dtl.hpp>

#include <algorithm>

#include "util/text.h"

namespace tersify {
namespace {

using LineDiff = dtl::Diff<std::string_view, std::vector<std::string_view>>;

struct Edit {
  dtl::edit_t type;  // dtl::SES_COMMON, SES_DELETE or SES_ADD
  std::string_view line;
};

// dtl's shortest edit script, deletions before additions within each change
// as diff -u shows them.
std::vector<Edit> edit_script(std::string_view old_text, std::string_view new_text) {
  LineDiff diff(lines_with_ends(old_text), lines_with_ends(new_text), true);
  diff.compose();
  std::vector<Edit> edits;
  for (const auto& [line, info] : diff.getSes().getSequence()) edits.push_back({info.type, line});
  return edits;
}

std::size_t next_change(const std::vector<Edit>& edits, std::size_t from) {
  while (from < edits.size() && edits[from].type == dtl::SES_COMMON) ++from;
  return from;
}

// Lines on each side before a point of the edit script.
struct LineCounts {
  std::size_t old_lines = 0;
  std::size_t new_lines = 0;

  void add(const Edit& edit) {
    if (edit.type != dtl::SES_ADD) ++old_lines;
    if (edit.type != dtl::SES_DELETE) ++new_lines;
  }
};

// One side's range in a hunk header as diff -u writes it: the first line and
// the count, the count left out when it is 1, and for an empty range the line
// before it.
std::string header_range(std::size_t lines_before, std::size_t count) {
  std::string range = std::to_string(count == 0 ? lines_before : lines_before + 1);
  if (count != 1) {
    range += ',';
    range += std::to_string(count);
  }
  return range;
}

void append_line(std::string& out, char mark, std::string_view line) {
  out += mark;
  out += line;
  if (!line.ends_with('\n')) out += "\n\\ No newline at end of file\n";
}

}  // namespace

std::string unified_hunks(std::string_view old_text, std::string_view new_text, std::size_t context) {
  std::vector<Edit> edits = edit_script(old_text, new_text);
  std::string out;
  LineCounts before;  // lines before edits[done]
  std::size_t done = 0;
  for (std::size_t change = next_change(edits, 0); change < edits.size(); change = next_change(edits, done)) {
    // Changes whose context would touch or overlap go into one hunk.
    std::size_t start = std::max(done, change >= context ? change - context : 0);
    std::size_t last = change;
    for (std::size_t next = next_change(edits, last + 1); next < edits.size() && next - last - 1 <= 2 * context;
         next = next_change(edits, last + 1)) {
      last = next;
    }
    std::size_t end = std::min(edits.size(), last + 1 + context);

    for (; done < start; ++done) before.add(edits[done]);
    LineCounts in_hunk;
    for (std::size_t i = start; i < end; ++i) in_hunk.add(edits[i]);
    out += "@@ -" + header_range(before.old_lines, in_hunk.old_lines) + " +" +
           header_range(before.new_lines, in_hunk.new_lines) + " @@\n";
    for (; done < end; ++done) {
      const Edit& edit = edits[done];
      append_line(out, edit.type == dtl::SES_COMMON ? ' ' : edit.type == dtl::SES_DELETE ? '-' : '+', edit.line);
      before.add(edit);
    }
  }
  return out;
}

std::string diff_header_name(std::string_view name) {
  bool plain = is_valid_utf8(name) && std::none_of(name.begin(), name.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 0x7f || c == '"' || c == '\\';
  });
  if (plain) return std::string(name);

  std::string quoted = "\"";
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': quoted += "\\\""; continue;
      case '\\': quoted += "\\\\"; continue;
      case '\t': quoted += "\\t"; continue;
      case '\n': quoted += "\\n"; continue;
      default: break;
    }
    if (byte < ' ' || byte >= 0x7f) {
      const char octal[] = {'\\', static_cast<char>('0' + (byte >> 6)), static_cast<char>('0' + ((byte >> 3) & 7)),
                            static_cast<char>('0' + (byte & 7))};
      quoted.append(octal, sizeof octal);
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string unified_diff(std::string_view old_name, std::string_view new_name, std::string_view old_text,
                         std::string_view new_text) {
  if (old_text == new_text) return {};
  return "--- " + diff_header_name(old_name) + "\n+++ " + diff_header_name(new_name) + "\n" +
         unified_hunks(old_text, new_text);
}

}  // namespace tersify
