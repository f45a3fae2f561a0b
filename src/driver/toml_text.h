#pragma once
// The few things the driver asks of a TOML text (rustfmt.toml, Cargo.toml):
// parsed with toml++, so that comments, quoted keys and every value form are
// understood as rustfmt and cargo understand them.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "util/result.h"

namespace tersify::driver {

struct TomlEntry {
  // `strings`: an array whose elements are all strings (or none).
  enum class Kind { integer, boolean, string, strings, table, other };
  Kind kind = Kind::other;
  std::int64_t integer = 0;  // for Kind::integer
  bool boolean = false;      // for Kind::boolean
  std::vector<std::string> strings;  // for Kind::strings
  std::vector<std::string> keys;  // for Kind::table, in the order toml++ keeps
  // The value's bytes in the text, [start, end).
  std::size_t start = 0;
  std::size_t end = 0;
};

// The entries of the text's root table, by key as TOML reads it (quotes and
// escapes resolved), and whether the root holds tables: a line appended at
// the end would then land in the last one.
struct TomlRoot {
  std::map<std::string, TomlEntry, std::less<>> entries;
  bool has_tables = false;
};

// Fails with where the text stops being TOML and why.
Result<TomlRoot> read_toml_root(std::string_view text);

}  // namespace tersify::driver
