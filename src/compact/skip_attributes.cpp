#include "compact/skip_attributes.h"

#include <algorithm>
#include <initializer_list>
#include <span>
#include <vector>

namespace tersify::compact {
namespace {

bool is_word_byte(char c) {
  auto u = static_cast<unsigned char>(c);
  return u >= 0x80 || (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || c == '_';
}

// Offset just past the comment that starts at `at` ("//" or "/*", which nest).
std::size_t comment_end(std::string_view text, std::size_t at) {
  if (text[at + 1] == '/') {
    std::size_t line_end = text.find('\n', at);
    return line_end == std::string_view::npos ? text.size() : line_end;
  }
  std::size_t depth = 0;
  for (std::size_t i = at; i + 1 < text.size(); ++i) {
    if (text[i] == '/' && text[i + 1] == '*') {
      ++depth;
      ++i;
    } else if (text[i] == '*' && text[i + 1] == '/') {
      ++i;
      if (--depth == 0) return i + 1;
    }
  }
  return text.size();
}

// Offset just past the string literal whose quote is at `at`.
std::size_t string_end(std::string_view text, std::size_t at) {
  for (std::size_t i = at + 1; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '"') {
      return i + 1;
    }
  }
  return text.size();
}

// The tokens of an attribute as rustfmt reads its meta item: words (a raw
// identifier without its "r#"), "::", string literals and single punctuation
// bytes; whitespace and comments fall away.
std::vector<std::string_view> meta_tokens(std::string_view text) {
  std::vector<std::string_view> tokens;
  std::size_t at = 0;
  while (at < text.size()) {
    char c = text[at];
    std::size_t end = at + 1;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      ++at;
      continue;
    }
    if (c == '/' && at + 1 < text.size() && (text[at + 1] == '/' || text[at + 1] == '*')) {
      at = comment_end(text, at);
      continue;
    }
    if (c == 'r' && at + 2 < text.size() && text[at + 1] == '#' && is_word_byte(text[at + 2])) at += 2;
    if (is_word_byte(text[at])) {
      for (end = at; end < text.size() && is_word_byte(text[end]);) ++end;
    } else if (c == '"') {
      end = string_end(text, at);
    } else if (c == ':' && at + 1 < text.size() && text[at + 1] == ':') {
      end = at + 2;
    }
    tokens.push_back(text.substr(at, end - at));
    at = end;
  }
  return tokens;
}

bool tokens_are(std::span<const std::string_view> tokens, std::initializer_list<std::string_view> expected) {
  return std::equal(tokens.begin(), tokens.end(), expected.begin(), expected.end());
}

// Whether a match arm or field initializer is the node its attributes belong to.
bool owns_its_attributes(Kind kind) { return kind == Kind::match_arm || kind == Kind::field_initializer; }

}  // namespace

bool is_skip_attribute(std::string_view attribute) {
  std::vector<std::string_view> tokens = meta_tokens(attribute);
  std::span<const std::string_view> meta(tokens);
  if (!meta.empty() && meta.front() == "#") meta = meta.subspan(1);
  if (!meta.empty() && meta.front() == "!") meta = meta.subspan(1);
  if (meta.size() < 2 || meta.front() != "[" || meta.back() != "]") return false;
  meta = meta.subspan(1, meta.size() - 2);
  // cfg_attr(PREDICATE, M) leaves its node alone when M does, whatever the
  // predicate: rustfmt reads it as if the predicate held.
  for (;;) {
    if (tokens_are(meta, {"rustfmt", "::", "skip"}) || tokens_are(meta, {"rustfmt_skip"})) return true;
    if (meta.size() < 3 || meta[0] != "cfg_attr" || meta[1] != "(" || meta.back() != ")") return false;
    std::span<const std::string_view> items = meta.subspan(2, meta.size() - 3);
    std::size_t depth = 0;
    std::size_t comma = items.size();
    std::size_t commas = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
      std::string_view token = items[i];
      if (token == "(" || token == "[" || token == "{") ++depth;
      if ((token == ")" || token == "]" || token == "}") && depth > 0) --depth;
      if (token == "," && depth == 0 && commas++ == 0) comma = i;
    }
    // Exactly two items, the second possibly followed by a trailing comma.
    bool trailing_comma = !items.empty() && items.back() == ",";
    if (commas != (trailing_comma ? 2u : 1u) || comma == 0) return false;
    meta = items.subspan(comma + 1, items.size() - comma - 1 - (trailing_comma ? 1 : 0));
  }
}

SkipAttributes::SkipAttributes(std::string_view text) : text_(text) {
  for (std::size_t at = text.find("rustfmt"); at != std::string_view::npos; at = text.find("rustfmt", at + 7)) {
    words_.add(at);
    has_word_ = true;
  }
}

SkipMarks SkipAttributes::enter_marked(TSNode node, KindInfo info, Kind parent_kind, SkipMarks& parent) const {
  SkipMarks marks{parent.skipped, false};
  if (marks.skipped) return marks;
  if (info.kind == Kind::attribute_item || info.kind == Kind::inner_attribute_item) {
    ByteRange range = node_range(text_, node);
    if (may_hold(range) && is_skip_attribute(text_.substr(range.start, range.end - range.start))) {
      if (info.kind == Kind::inner_attribute_item || owns_its_attributes(parent_kind)) {
        parent.skipped = true;
      } else {
        parent.skip_next = true;
      }
    }
    return marks;
  }
  if (parent.skip_next && ts_node_is_named(node) && !info.is_comment) {
    parent.skip_next = false;
    marks.skipped = true;
  }
  return marks;
}

}  // namespace tersify::compact
