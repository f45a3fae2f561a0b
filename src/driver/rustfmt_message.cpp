#include "driver/rustfmt_message.h"

#include "util/paths.h"
#include "util/text.h"

namespace tersify::driver {
namespace {

// Stable rustfmt prints this for every run whose configuration sets
// `ignore`, failed or not, with the list in between.
constexpr std::string_view ignore_warning_start = "Warning: can't set `ignore = ";
constexpr std::string_view ignore_warning_end = "`, unstable features are only available in nightly channel.";

// rustfmt's name for the text it reads on standard input.
constexpr std::string_view stdin_name = "<stdin>";

bool is_ignore_warning(std::string_view line) {
  if (line.ends_with('\n')) line.remove_suffix(1);
  return line.starts_with(ignore_warning_start) && line.ends_with(ignore_warning_end);
}

}  // namespace

std::string rustfmt_failure_message(std::string_view err, std::optional<int> code, std::optional<int> signal) {
  std::string said;
  for (auto line : lines_with_ends(err)) {
    if (!is_ignore_warning(line)) said += line;
  }
  said = lossy_utf8(said);
  if (signal) return std::string(killed_message_start) + std::to_string(*signal) + (said.empty() ? "" : "\n" + said);
  if (!said.empty()) return said;
  return "rustfmt exited with status " + std::to_string(code.value_or(-1));
}

bool tells_a_kill(std::string_view message) { return message.starts_with(killed_message_start); }

std::string naming_the_file(std::string_view message, std::string_view shown_path) {
  std::string named;
  for (auto line : lines_with_ends(message)) {
    auto start = line.find_first_not_of(' ');
    if (start != std::string_view::npos) {
      auto arrow = line.substr(start, 4);
      auto location = line.substr(start + arrow.size());
      if ((arrow == "--> " || arrow == "::: ") && location.starts_with(stdin_name) &&
          location.substr(stdin_name.size()).starts_with(':')) {
        named.append(line.substr(0, start + arrow.size())).append(shown_path);
        named.append(location.substr(stdin_name.size()));
        continue;
      }
    }
    named += line;
  }
  return named;
}

std::string file_failure(std::string_view path, std::string_view message) {
  return about_path(path, naming_the_file(message, display_path(path)));
}

}  // namespace tersify::driver
