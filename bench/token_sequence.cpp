#include "token_sequence.h"

#include <tree_sitter/api.h>

#include <algorithm>
#include <memory>

#include "compact/syntax_tree.h"

namespace tersify::proof {
namespace {

bool is_literal_kind(std::string_view kind) {
  // Byte strings and C strings are "string_literal", byte chars "char_literal".
  return kind == "string_literal" || kind == "raw_string_literal" || kind == "char_literal";
}

// Comments keep their text in hidden tokens (a plain line comment has only
// "//" as a child), so they are compared whole and not descended into.
bool is_comment_kind(std::string_view kind) { return kind == "line_comment" || kind == "block_comment"; }

std::string_view trim_line_end(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

std::size_t line_of(std::string_view text, std::uint32_t offset) {
  auto end = text.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(offset, text.size()));
  return static_cast<std::size_t>(std::count(text.begin(), end, '\n')) + 1;
}

std::string shown(std::string_view token) {
  constexpr std::size_t limit = 60;
  std::string out = "`";
  out.append(token.substr(0, limit));
  if (token.size() > limit) out.append("...");
  out.push_back('`');
  return out;
}

std::string at_lines(const TokenSummary& before, std::uint32_t before_offset, const TokenSummary& after,
                     std::uint32_t after_offset) {
  return " (input line " + std::to_string(line_of(before.source, before_offset)) + ", output line " +
         std::to_string(line_of(after.source, after_offset)) + ")";
}

std::string first_violation(const TokenSummary& before, const TokenSummary& after, std::size_t& macro_commas) {
  const auto& a = before.leaves;
  const auto& b = after.leaves;
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].text == b[j].text) {
      ++i;
      ++j;
    } else if (a[i].text == "," && i + 1 < a.size() && a[i + 1].text == "}" && b[j].text == "}") {
      // A macro's pattern may need the comma, so its token trees keep it.
      if (a[i].in_macro) {
        ++macro_commas;
        return "comma before `}` dropped inside a macro" + at_lines(before, a[i].offset, after, b[j].offset);
      }
      ++i;  // the trailing comma of a joined list
    } else {
      return "token " + shown(a[i].text) + " became " + shown(b[j].text) + at_lines(before, a[i].offset, after, b[j].offset);
    }
  }
  if (i < a.size()) {
    return "token " + shown(a[i].text) + " is missing from the output" +
           at_lines(before, a[i].offset, after, static_cast<std::uint32_t>(after.source.size()));
  }
  if (j < b.size()) {
    return "token " + shown(b[j].text) + " was added" +
           at_lines(before, static_cast<std::uint32_t>(before.source.size()), after, b[j].offset);
  }

  if (before.literals.size() != after.literals.size()) {
    return "literal count changed from " + std::to_string(before.literals.size()) + " to " +
           std::to_string(after.literals.size());
  }
  for (std::size_t k = 0; k < before.literals.size(); ++k) {
    if (before.literals[k].text != after.literals[k].text) {
      return "literal " + shown(before.literals[k].text) + " became " + shown(after.literals[k].text) +
             at_lines(before, before.literals[k].offset, after, after.literals[k].offset);
    }
  }

  if (after.error_nodes > before.error_nodes) {
    return "parse errors grew from " + std::to_string(before.error_nodes) + " to " + std::to_string(after.error_nodes);
  }
  if (after.missing_nodes > before.missing_nodes) {
    return "missing tokens grew from " + std::to_string(before.missing_nodes) + " to " +
           std::to_string(after.missing_nodes);
  }
  return {};
}

}  // namespace

TokenSummary summarize_tokens(std::string_view text) {
  TokenSummary summary;
  summary.source = text;
  compact::TreePtr tree = compact::parse_text(text);
  // Pre-order walk with the cursor alone: down to the first child, else to
  // the next sibling, else up until a sibling exists.
  compact::TreeCursor cursor(compact::root_node(*tree));
  // Depth of the outermost token tree on the current path, or none.
  std::uint32_t macro_depth = UINT32_MAX;
  for (;;) {
    TSNode node = cursor.current();
    std::uint32_t depth = cursor.depth();
    if (depth <= macro_depth) macro_depth = UINT32_MAX;
    std::uint32_t start = ts_node_start_byte(node);
    std::uint32_t end = ts_node_end_byte(node);
    std::string_view kind = ts_node_type(node);
    auto slice = text.substr(start, end - start);
    if (macro_depth == UINT32_MAX && kind == "token_tree") macro_depth = depth;
    bool in_macro = macro_depth != UINT32_MAX;
    if (ts_node_is_missing(node)) {
      ++summary.missing_nodes;
    } else if (ts_node_is_error(node)) {
      ++summary.error_nodes;
    }
    if (is_literal_kind(kind)) summary.literals.push_back({slice, start});
    bool whole = is_comment_kind(kind);
    if (whole) {
      summary.leaves.push_back({trim_line_end(slice), start, in_macro});
    } else if (ts_node_child_count(node) == 0 && end > start) {
      summary.leaves.push_back({slice, start, in_macro});
    }

    if (!whole && cursor.goto_first_child()) continue;
    bool moved = false;
    while (!moved) {
      if (cursor.goto_next_sibling()) {
        moved = true;
      } else if (!cursor.goto_parent()) {
        return summary;
      }
    }
  }
}

Comparison compare_token_summaries(const TokenSummary& before, const TokenSummary& after) {
  Comparison result;
  result.violation = first_violation(before, after, result.macro_commas_dropped);
  return result;
}

Comparison check_compaction(std::string_view before, std::string_view after) {
  TokenSummary a = summarize_tokens(before);
  TokenSummary b = summarize_tokens(after);
  return compare_token_summaries(a, b);
}

}  // namespace tersify::proof
