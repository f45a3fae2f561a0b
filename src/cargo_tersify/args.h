#pragma once
// The command line: cargo-tersify [tersify] [--check] [--diff] [--width N] [path ...]

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tersify {

struct Settings {
  bool check = false;                          // true: check mode; false: write mode
  bool diff = false;  // --diff: check mode that prints what would change
  std::optional<std::uint64_t> width_override;  // from the first "--width N"
  std::vector<std::string> paths;               // never empty: "." when none is given
};

// Reads the arguments after the program name. Never fails: unknown words are
// path arguments, and an unusable width leaves the override absent.
Settings parse_args(const std::vector<std::string>& arguments);

}  // namespace tersify
