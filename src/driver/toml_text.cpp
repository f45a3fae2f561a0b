#include "driver/toml_text.h"

#include <toml++/toml.h>

#include <algorithm>
#include <vector>

namespace tersify::driver {
namespace {

// toml++ counts columns in code points from 1; the byte offsets of the line
// starts turn a position into a byte offset.
class Positions {
 public:
  explicit Positions(std::string_view text) : text_(text) {
    line_starts_.push_back(0);
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') line_starts_.push_back(i + 1);
    }
  }

  std::size_t offset(const toml::source_position& position) const {
    std::size_t line = position.line == 0 ? 0 : position.line - 1;
    if (line >= line_starts_.size()) return text_.size();
    std::size_t at = line_starts_[line];
    for (std::size_t column = 1; column < position.column && at < text_.size(); ++column) {
      ++at;
      while (at < text_.size() && (static_cast<unsigned char>(text_[at]) & 0xC0) == 0x80) ++at;
    }
    return at;
  }

 private:
  std::string_view text_;
  std::vector<std::size_t> line_starts_;
};

TomlEntry entry_of(const toml::node& node, const Positions& positions) {
  TomlEntry entry;
  entry.start = positions.offset(node.source().begin);
  entry.end = positions.offset(node.source().end);
  if (auto integer = node.as_integer()) {
    entry.kind = TomlEntry::Kind::integer;
    entry.integer = integer->get();
  } else if (auto boolean = node.as_boolean()) {
    entry.kind = TomlEntry::Kind::boolean;
    entry.boolean = boolean->get();
  } else if (node.is_string()) {
    entry.kind = TomlEntry::Kind::string;
  } else if (auto table = node.as_table()) {
    entry.kind = TomlEntry::Kind::table;
    for (auto&& [key, value] : *table) entry.keys.emplace_back(key.str());
  } else if (node.is_array_of_tables()) {
    entry.kind = TomlEntry::Kind::table;
  } else if (auto array = node.as_array();
             array && std::all_of(array->begin(), array->end(), [](const toml::node& e) { return e.is_string(); })) {
    entry.kind = TomlEntry::Kind::strings;
    for (const auto& element : *array) entry.strings.emplace_back(element.as_string()->get());
  }
  return entry;
}

}  // namespace

Result<TomlRoot> read_toml_root(std::string_view text) {
  auto parsed = toml::parse(text, std::string_view{});
  if (!parsed) {
    const auto& error = parsed.error();
    return fail("invalid TOML at line " + std::to_string(error.source().begin.line) + ", column " +
                std::to_string(error.source().begin.column) + ": " + std::string(error.description()));
  }
  Positions positions(text);
  TomlRoot root;
  for (auto&& [key, node] : parsed.table()) {
    TomlEntry entry = entry_of(node, positions);
    if (entry.kind == TomlEntry::Kind::table) root.has_tables = true;
    root.entries.emplace(std::string(key.str()), entry);
  }
  return root;
}

}  // namespace tersify::driver
