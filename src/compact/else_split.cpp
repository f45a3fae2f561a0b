// One walk, top-down. An `if` belongs to a statement when its parent is an
// expression statement, or an `if` that belongs to one. Whether the statement
// qualifies is known at once when it ends with ";"; otherwise it depends on a
// named sibling after it, so its chains wait in the parent's frame until the
// next named child of the parent turns up, and are dropped if none does.
// This keeps the walk linear: asking the library for a node's parent or next
// sibling costs time in proportion to the depth of the tree. The walk passes
// over the nodes that rustfmt leaves alone for a skip attribute. The chains
// are split once the walk is done, in the text the edits are for.

#include "compact/else_split.h"

#include <cstdint>
#include <vector>

#include "compact/node_kinds.h"
#include "compact/skip_attributes.h"
#include "compact/source_edit.h"
#include "compact/syntax_tree.h"
#include "util/text.h"

namespace tersify::compact {
namespace {

bool ends_with_semicolon(std::string_view statement) {
  std::string_view trimmed = trim_end_whitespace(statement);
  return !trimmed.empty() && trimmed.back() == ';';
}

bool is_blank_within_line(std::string_view gap) {
  return gap.find('\n') == std::string_view::npos && trim_start_whitespace(gap).empty();
}

// The parsed text, the text the edits are for, and where offsets of the
// first land in the second.
struct Texts {
  std::string_view parsed;
  std::string_view output;
  const OffsetMap& offsets;
};

// The column in the output at which `node` starts.
std::size_t output_column(const Texts& texts, TSNode node) {
  std::size_t column = ts_node_start_point(node).column;
  if (texts.offsets.identity()) return column;
  std::size_t start = ts_node_start_byte(node);
  std::size_t line_start = start - column;
  std::size_t at = texts.offsets(start);
  // A line break that a join took away puts the node on an earlier line.
  if (line_start == 0 || !texts.offsets.cut(line_start - 1)) return at - texts.offsets(line_start);
  std::size_t found = texts.output.rfind('\n', at == 0 ? 0 : at - 1);
  return found == std::string_view::npos ? at : at - found - 1;
}

// Appends an edit for each link of the chain that starts at `chain`.
void split_chain(const Texts& texts, TSNode chain, std::vector<SourceEdit>& out) {
  std::string line_break(1 + output_column(texts, chain), ' ');
  line_break[0] = '\n';
  TSNode link = chain;
  for (;;) {
    TSNode consequence = ts_node_child_by_field_id(link, consequence_field());
    TSNode alternative = ts_node_child_by_field_id(link, alternative_field());
    if (ts_node_is_null(consequence) || ts_node_is_null(alternative)) return;
    ByteRange gap = checked_range(texts.output, static_cast<std::uint32_t>(texts.offsets(ts_node_end_byte(consequence))),
                                  static_cast<std::uint32_t>(texts.offsets(ts_node_start_byte(alternative))));
    if (is_blank_within_line(texts.output.substr(gap.start, gap.end - gap.start))) {
      out.push_back({gap.start, gap.end, line_break});
    }
    TSNode next = ts_node_named_child(alternative, 0);
    if (ts_node_is_null(next) || kind_info(next).kind != Kind::if_expression) return;
    link = next;
  }
}

void append_all(std::vector<TSNode>& from, std::vector<TSNode>& to) {
  to.insert(to.end(), from.begin(), from.end());
  from.clear();
}

}  // namespace

StatementChains::StatementChains(std::string_view text, const SkipAttributes& skips) : text_(text), skips_(skips) {
  for (std::size_t at = text.find("else"); at != std::string_view::npos; at = text.find("else", at + 4)) {
    else_words_.add(at);
  }
}

bool StatementChains::enter(TSNode node, KindInfo info) {
  Kind kind = info.kind;
  if (!frames_.empty() && !frames_.back().deferred.empty() && ts_node_is_named(node)) {
    append_all(frames_.back().deferred, chains_);
  }
  Frame frame;
  frame.kind = kind;
  if (!frames_.empty()) frame.skip = skips_.enter(node, info, frames_.back().kind, frames_.back().skip);
  if (frame.skip.skipped) {
    frames_.push_back(std::move(frame));
    return false;
  }
  if (kind == Kind::expression_statement) frame.qualified = ends_with_semicolon(node_text(text_, node));
  if (kind == Kind::if_expression && !frames_.empty()) {
    const Frame& parent = frames_.back();
    if (parent.kind == Kind::expression_statement) frame.statement = frames_.size() - 1;
    if (parent.kind == Kind::if_expression) frame.statement = parent.statement;
  }
  frames_.push_back(std::move(frame));
  std::size_t statement = frames_.back().statement;
  if (statement != no_statement) {
    Frame& owner = frames_[statement];
    (owner.qualified ? chains_ : owner.waiting).push_back(node);
  }
  return true;
}

void StatementChains::leave() {
  Frame frame = std::move(frames_.back());
  frames_.pop_back();
  if (!frame.waiting.empty() && !frames_.empty()) frames_.back().deferred = std::move(frame.waiting);
}

std::vector<SourceEdit> StatementChains::edits(std::string_view output, const OffsetMap& offsets) const {
  Texts texts{text_, output, offsets};
  std::vector<SourceEdit> edits;
  for (TSNode chain : chains_) split_chain(texts, chain, edits);
  return edits;
}

std::string split_statement_elses(std::string_view text) {
  TreePtr tree = parse_text(text);
  return split_statement_elses(text, *tree);
}

std::string split_statement_elses(std::string_view text, const TSTree& tree) {
  return split_statement_elses(text, tree, text, OffsetMap{});
}

std::string split_statement_elses(std::string_view text, const TSTree& tree, std::string_view output,
                                  const OffsetMap& offsets) {
  SkipAttributes skips(text);
  StatementChains chains(text, skips);
  walk_tree(
      root_node(tree),
      [&](TSNode node) {
        return chains.enter(node, kind_info(node)) &&
               chains.may_hold({ts_node_start_byte(node), ts_node_end_byte(node)});
      },
      [&](TSNode /*node*/, bool /*is_leaf*/) { chains.leave(); });
  return apply_edits(output, chains.edits(output, offsets));
}

}  // namespace tersify::compact
