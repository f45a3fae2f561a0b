#include "compact/node_kinds.h"

#include <string_view>
#include <vector>

#include "compact/syntax_tree.h"
#include "util/fatal.h"
#include "util/text.h"

namespace tersify::compact {
namespace {

Kind kind_for_name(std::string_view name) {
  struct Named {
    std::string_view name;
    Kind kind;
  };
  static constexpr Named table[] = {
      {"block", Kind::block},
      {"declaration_list", Kind::declaration_list},
      {"match_block", Kind::match_block},
      {"enum_variant_list", Kind::enum_variant_list},
      {"field_declaration_list", Kind::field_declaration_list},
      {"match_arm", Kind::match_arm},
      {"if_expression", Kind::if_expression},
      {"expression_statement", Kind::expression_statement},
      {"string_literal", Kind::literal},
      {"raw_string_literal", Kind::literal},
      {"char_literal", Kind::literal},
      {"token_tree", Kind::token_tree},
      {"attribute_item", Kind::attribute_item},
      {"inner_attribute_item", Kind::inner_attribute_item},
      {"field_initializer", Kind::field_initializer},
      {"shorthand_field_initializer", Kind::field_initializer},
  };
  for (const Named& entry : table) {
    if (entry.name == name) return entry.kind;
  }
  return Kind::other;
}

struct KindTable {
  std::vector<KindInfo> by_symbol;
  KindInfo error_info;  // the library's own symbols beyond the grammar's table

  KindTable() {
    const TSLanguage* language = tree_sitter_rust();
    std::uint32_t count = ts_language_symbol_count(language);
    by_symbol.resize(count);
    for (std::uint32_t symbol = 0; symbol < count; ++symbol) {
      by_symbol[symbol] = info_for(ts_language_symbol_name(language, static_cast<TSSymbol>(symbol)));
    }
  }

  static KindInfo info_for(const char* name) {
    if (name == nullptr) return {};
    std::string_view text(name);
    if (!is_valid_utf8(text)) internal_error("a node kind name of the grammar is not UTF-8");
    return {kind_for_name(text), text.find("comment") != std::string_view::npos};
  }
};

const KindTable& kind_table() {
  static const KindTable table;
  return table;
}

}  // namespace

KindInfo kind_info(TSNode node) {
  const KindTable& table = kind_table();
  TSSymbol symbol = ts_node_symbol(node);
  if (symbol < table.by_symbol.size()) return table.by_symbol[symbol];
  return KindTable::info_for(ts_node_type(node));
}

std::size_t member_limit(Kind kind) {
  switch (kind) {
    case Kind::block:
    case Kind::declaration_list:
      return 1;
    case Kind::match_block:
    case Kind::enum_variant_list:
    case Kind::field_declaration_list:
      return 3;
    default:
      return 0;
  }
}

TSFieldId consequence_field() {
  static const TSFieldId id = ts_language_field_id_for_name(tree_sitter_rust(), "consequence", 11);
  return id;
}

TSFieldId alternative_field() {
  static const TSFieldId id = ts_language_field_id_for_name(tree_sitter_rust(), "alternative", 11);
  return id;
}

}  // namespace tersify::compact
