#include "cargo_tersify/args.h"

#include <algorithm>

#include "util/text.h"

namespace tersify {

Settings parse_args(const std::vector<std::string>& arguments) {
  // cargo starts a subcommand with its name as the first argument.
  size_t first = !arguments.empty() && arguments.front() == "tersify" ? 1 : 0;
  std::vector<std::string> words(arguments.begin() + static_cast<std::ptrdiff_t>(first), arguments.end());

  Settings settings;
  settings.diff = std::find(words.begin(), words.end(), "--diff") != words.end();
  settings.check = settings.diff || std::find(words.begin(), words.end(), "--check") != words.end();

  auto width_flag = std::find(words.begin(), words.end(), "--width");
  if (width_flag != words.end() && width_flag + 1 != words.end()) {
    settings.width_override = parse_unsigned(*(width_flag + 1));
  }

  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--check" || word == "--diff" || word == "--width") continue;
    if (i > 0 && words[i - 1] == "--width") continue;  // a width value, used or not
    settings.paths.push_back(word);
  }
  if (settings.paths.empty()) settings.paths.emplace_back(".");
  return settings;
}

}  // namespace tersify
