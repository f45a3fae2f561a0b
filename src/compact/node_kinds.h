#pragma once
// The grammar's node kinds that the compaction pass reacts to, looked up once
// per symbol so that walks compare small integers instead of kind names.

#include <tree_sitter/api.h>

#include <cstddef>
#include <cstdint>

namespace tersify::compact {

enum class Kind : std::uint8_t {
  other,
  block,
  declaration_list,
  match_block,
  enum_variant_list,
  field_declaration_list,
  match_arm,
  if_expression,
  expression_statement,
  literal,     // string, raw string (byte and C strings included) and character literals
  token_tree,  // the delimited tokens of a macro invocation or macro rule
  attribute_item,
  inner_attribute_item,
  field_initializer,  // of a struct expression, shorthand ones included
};

struct KindInfo {
  Kind kind = Kind::other;
  bool is_comment = false;  // the kind name contains "comment"
};

// What the pass knows about the node's kind. Kind names are compared as
// whole strings, except "comment", which is a substring test; symbols that
// share a name (an anonymous "block" keyword and the block node) share the
// answer.
KindInfo kind_info(TSNode node);

// The member limit of a join candidate's kind; 0 for kinds that never join.
std::size_t member_limit(Kind kind);

// Field ids of "consequence" and "alternative" in the grammar.
TSFieldId consequence_field();
TSFieldId alternative_field();

}  // namespace tersify::compact
