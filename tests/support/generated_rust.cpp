#include "support/generated_rust.h"

namespace tersify::test {
namespace {

template <class Emit>
std::string functions(std::size_t bytes, Emit emit) {
  std::string text;
  text.reserve(bytes + 64);
  for (std::size_t i = 0; text.size() < bytes; ++i) emit(text, std::to_string(i));
  return text;
}

}  // namespace

std::string short_functions(std::size_t bytes) {
  return functions(bytes, [](std::string& text, const std::string& n) {
    text += "fn f" + n + "(x: u32) -> u32 {\n    x + " + n + "\n}\n\n";
  });
}

std::string short_functions_joined(std::size_t bytes_of_unjoined) {
  // Counts the unjoined length so that both texts hold the same functions.
  std::string joined;
  std::size_t unjoined = 0;
  for (std::size_t i = 0; unjoined < bytes_of_unjoined; ++i) {
    std::string n = std::to_string(i);
    unjoined += ("fn f" + n + "(x: u32) -> u32 {\n    x + " + n + "\n}\n\n").size();
    joined += "fn f" + n + "(x: u32) -> u32 { x + " + n + " }\n\n";
  }
  return joined;
}

std::string nested_blocks_on_lines(std::size_t depth) {
  std::string text = "fn main() {\n";
  for (std::size_t i = 0; i < depth; ++i) text += "{\n";
  for (std::size_t i = 0; i < depth; ++i) text += "}\n";
  text += "}\n";
  return text;
}

std::string nested_blocks_on_one_line(std::size_t depth) {
  std::string text = "fn main() {\n    ";
  text.append(depth, '{');
  text.append(depth, '}');
  text += "\n}\n";
  return text;
}

std::string manifest(const std::string& name) {
  return "[package]\nname = \"" + name + "\"\nversion = \"0.1.0\"\nedition = \"2021\"\n";
}

}  // namespace tersify::test
