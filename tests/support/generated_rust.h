#pragma once
// Test support: generated Rust sources for stress cases, shaped the way
// rustfmt leaves code, so that the compaction pass has work to do.

#include <cstddef>
#include <string>

namespace tersify::test {

// Functions of the form "fn fN(x: u32) -> u32 {\n    x + N\n}\n\n" until the
// text holds at least `bytes` bytes. Each body fits on one line when joined.
std::string short_functions(std::size_t bytes);

// The same functions as they look after joining: "fn fN(x: u32) -> u32 { x + N }\n\n".
std::string short_functions_joined(std::size_t bytes_of_unjoined);

// "fn main() {\n", then `depth` nested blocks, each brace on a line of its
// own without indentation, then "}\n".
std::string nested_blocks_on_lines(std::size_t depth);

// "fn main() {\n    " + `depth` nested blocks on one line + "\n}\n".
std::string nested_blocks_on_one_line(std::size_t depth);

// A Cargo.toml for a package named `name` with edition 2021.
std::string manifest(const std::string& name);

}  // namespace tersify::test
