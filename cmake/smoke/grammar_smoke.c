/* Build-time check that the pinned grammar links, loads into the pinned
 * library and parses: a broken dependency fails the build at once. */
#include <stdio.h>
#include <tree_sitter/api.h>

const TSLanguage *tree_sitter_rust(void);

int main(void) {
  const TSLanguage *rust = tree_sitter_rust();
  uint32_t abi = ts_language_abi_version(rust);
  if (abi != 15) {
    fprintf(stderr, "tree-sitter-rust has language ABI %u, expected 15\n", abi);
    return 1;
  }
  TSParser *parser = ts_parser_new();
  if (!ts_parser_set_language(parser, rust)) {
    fprintf(stderr, "tree-sitter refused the Rust grammar\n");
    return 1;
  }
  const char *text = "fn main() {}";
  TSTree *tree = ts_parser_parse_string(parser, NULL, text, 12);
  TSNode root = ts_tree_root_node(tree);
  int ok = tree != NULL && !ts_node_has_error(root) && ts_node_named_child_count(root) == 1;
  ts_tree_delete(tree);
  ts_parser_delete(parser);
  if (!ok) {
    fprintf(stderr, "tree-sitter-rust did not parse a trivial program\n");
    return 1;
  }
  return 0;
}
