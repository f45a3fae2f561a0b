#include "cargo_tersify/args.h"

#include <string_view>

#include "util/text.h"

namespace tersify {
namespace {

// `shown` is the option as the message names it: "--width 0", "--width=0".
Result<std::uint64_t> parse_width(std::optional<std::string_view> value, const std::string& shown) {
  auto width = value ? parse_unsigned(*value) : std::nullopt;
  if (!width || *width == 0) return fail(shown + ": expected an integer from 1 up");
  return *width;
}

}  // namespace

Result<Settings> parse_args(const std::vector<std::string>& arguments) {
  // cargo starts a subcommand with its name as the first argument.
  std::size_t i = !arguments.empty() && arguments.front() == "tersify" ? 1 : 0;
  Settings settings;
  bool options_end = false;
  for (; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (options_end || !word.starts_with('-')) {
      settings.paths.push_back(word);
    } else if (word == "--") {
      options_end = true;
    } else if (word == "--help" || word == "-h") {
      settings.action = Action::help;
      return settings;
    } else if (word == "--version" || word == "-V") {
      settings.action = Action::version;
      return settings;
    } else if (word == "--check") {
      settings.check = true;
    } else if (word == "--diff") {
      // Check mode that shows what would change.
      settings.diff = true;
      settings.check = true;
    } else if (word == "--width" || word.starts_with("--width=")) {
      bool joined = word != "--width";
      std::optional<std::string_view> value;
      if (joined) {
        value = std::string_view(word).substr(std::string_view("--width=").size());
      } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
      }
      auto width = parse_width(value, joined || !value ? word : word + " " + std::string(*value));
      if (!width) return fail(std::move(width).error());
      // The first width given is the one used.
      if (!settings.width_override) settings.width_override = *width;
    } else {
      return fail(word + ": unknown option");
    }
  }
  if (settings.paths.empty()) settings.paths.emplace_back(".");
  return settings;
}

std::string usage_text() {
  return "Formats Rust sources with rustfmt, then packs them into a compact layout.\n"
         "\n"
         "Usage: cargo tersify [--check] [--width N] [--] [path ...]\n"
         "\n"
         "Options:\n"
         "  --check        write nothing; list the files that would change, exit 1 if any\n"
         "  --width N      maximum line width for every file (default: rustfmt.toml's max_width, or 160)\n"
         "  -h, --help     print this text\n"
         "  -V, --version  print the version\n"
         "\n"
         "Paths default to the working directory. Exit status: 0 done, 1 --check found changes, 2 failure.\n";
}

std::string version_text() { return "cargo-tersify " TERSIFY_VERSION "\n"; }

}  // namespace tersify
