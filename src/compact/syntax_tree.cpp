#include "compact/syntax_tree.h"

#include <algorithm>
#include <limits>

#include "util/fatal.h"

namespace tersify::compact {
namespace {

constexpr std::uint32_t min_abi_version = 13;
constexpr std::uint32_t max_abi_version = 15;

struct TextPayload {
  const char* data;
  std::uint32_t size;
};

// Always hands over the whole rest of the text; a length of 0 ends the input.
const char* read_text(void* payload, std::uint32_t byte_index, TSPoint /*position*/, std::uint32_t* bytes_read) {
  const auto* text = static_cast<const TextPayload*>(payload);
  if (byte_index >= text->size) {
    *bytes_read = 0;
    return "";
  }
  *bytes_read = text->size - byte_index;
  return text->data + byte_index;
}

bool is_char_boundary(std::string_view text, std::size_t offset) {
  return offset == text.size() || (static_cast<unsigned char>(text[offset]) & 0xC0) != 0x80;
}

}  // namespace

std::string debug_text(const LanguageError& error) {
  return "LanguageError { version: " + std::to_string(error.version) + " }";
}

Result<ParserPtr, LanguageError> parser() {
  ParserPtr owned(ts_parser_new());
  const TSLanguage* language = tree_sitter_rust();
  std::uint32_t version = ts_language_abi_version(language);
  if (version < min_abi_version || version > max_abi_version) return fail(LanguageError{version});
  (void)ts_parser_set_language(owned.get(), language);
  // The parser holds its own reference; for the grammar's static language
  // object this release leaves it in place.
  ts_language_delete(language);
  return owned;
}

namespace {

TreePtr parse_after(std::string_view text, const TSTree* old) {
  if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
    internal_error("text of " + std::to_string(text.size()) + " bytes is beyond the parser's 32-bit offsets");
  }
  TreePtr tree;
  {
    Result<ParserPtr, LanguageError> made = parser();
    if (!made) internal_error(debug_text(made.error()));
    TextPayload payload{text.data(), static_cast<std::uint32_t>(text.size())};
    TSInput input{&payload, read_text, TSInputEncodingUTF8, nullptr};
    TSParseOptions options{nullptr, nullptr};
    tree.reset(ts_parser_parse_with_options(made->get(), old, input, options));
    // The parser goes here, before anyone walks the tree.
  }
  if (!tree) internal_error("the parser returned no syntax tree");
  return tree;
}

}  // namespace

TreePtr parse_text(std::string_view text) { return parse_after(text, nullptr); }

TreePtr reparse_text(std::string_view text, const TSTree& old) { return parse_after(text, &old); }

void tell_tree(TSTree& tree, std::string_view text, const std::vector<SourceEdit>& edits) {
  std::vector<TSInputEdit> told;
  told.reserve(edits.size());
  std::uint32_t row = 0;
  std::size_t line_start = 0;
  std::size_t scanned = 0;
  auto point_at = [&](std::size_t offset) {
    for (; scanned < offset; ++scanned) {
      if (text[scanned] == '\n') {
        ++row;
        line_start = scanned + 1;
      }
    }
    return TSPoint{row, static_cast<std::uint32_t>(offset - line_start)};
  };
  for (const auto& edit : edits) {
    if (edit.start < scanned) internal_error("a round's edits overlap or are out of order");
    TSPoint start = point_at(edit.start);
    TSPoint old_end = point_at(edit.end);
    auto new_end_byte = static_cast<std::uint32_t>(edit.start + edit.replacement.size());
    TSPoint new_end{start.row, start.column + static_cast<std::uint32_t>(edit.replacement.size())};
    told.push_back({static_cast<std::uint32_t>(edit.start), static_cast<std::uint32_t>(edit.end), new_end_byte, start,
                    old_end, new_end});
  }
  for (auto it = told.rbegin(); it != told.rend(); ++it) ts_tree_edit(&tree, &*it);
}

TSNode root_node(const TSTree& tree) {
  TSNode root = ts_tree_root_node(&tree);
  if (ts_node_is_null(root)) internal_error("the syntax tree has no root node");
  return root;
}

ByteRange checked_range(std::string_view text, std::uint32_t start, std::uint32_t end) {
  if (start > end || end > text.size() || !is_char_boundary(text, start) || !is_char_boundary(text, end)) {
    internal_error("byte range " + std::to_string(start) + ".." + std::to_string(end) +
                   " is reversed, runs past the end or splits a character of a text of " + std::to_string(text.size()) +
                   " bytes");
  }
  return {start, end};
}

bool Landmarks::any_within(ByteRange range) const {
  auto first = std::lower_bound(offsets_.begin(), offsets_.end(), range.start);
  return first != offsets_.end() && *first < range.end;
}

}  // namespace tersify::compact
