#pragma once
// The token view of a Rust text that the compaction pass must preserve.
//
// A text is parsed with tree-sitter's Rust grammar and reduced to its leaf
// tokens (nodes without children; comments as whole tokens, since the grammar
// hides their text; whitespace between tokens excluded), the full text of
// every literal, and the number of ERROR and MISSING nodes. Compaction may only change whitespace, drop a "," that
// stands directly before a "}", and never touch a literal or break the parse.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tersify::proof {

struct Token {
  std::string_view text;   // points into the summarised text
  std::uint32_t offset = 0;  // start byte, for messages
  bool in_macro = false;   // inside a token tree (macro input or definition)
};

struct TokenSummary {
  std::string_view source;      // the summarised text; must outlive the summary
  std::vector<Token> leaves;    // leaf tokens in document order, empty ones left out
  std::vector<Token> literals;  // string, raw string, char and byte string literals
  std::size_t error_nodes = 0;
  std::size_t missing_nodes = 0;
};

// Parses `text` once and summarises it. `text` must stay alive and unchanged
// while the summary is used.
TokenSummary summarize_tokens(std::string_view text);

struct Comparison {
  std::string violation;  // empty when `after` is a legal compaction
  // Commas dropped before "}" inside macro token trees: a violation, since a
  // macro's pattern can require the comma; counted for the reports.
  std::size_t macro_commas_dropped = 0;
};

// Checks that `after` is a legal compaction of `before`: (1) the same leaf
// tokens apart from "," removed directly before "}", (2) the same literal
// texts, (3) no more ERROR or MISSING nodes. The violation is a one-line
// description of the first difference.
Comparison compare_token_summaries(const TokenSummary& before, const TokenSummary& after);

// Both steps in one.
Comparison check_compaction(std::string_view before, std::string_view after);

}  // namespace tersify::proof
