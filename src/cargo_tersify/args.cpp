#include "cargo_tersify/args.h"

#include <string_view>

#include "util/paths.h"
#include "util/text.h"

namespace tersify {
namespace {

// `shown` is the option as the message names it: "--width 0", "--width=0".
Result<std::uint64_t> parse_width(std::optional<std::string_view> value, const std::string& shown) {
  auto width = value ? parse_unsigned(*value) : std::nullopt;
  if (!width || *width == 0) return fail(shown + ": expected an integer from 1 up");
  return *width;
}

// An option that takes a value, written "--name value", "--name=value" or,
// when it has one, "-x value".
struct ValueOption {
  std::string_view name;
  std::string_view short_name;
};

// The value of option `option` at `arguments[i]` (advancing `i` past a
// separate value), with the option as a message names it; none when the word
// is not this option.
struct OptionValue {
  std::optional<std::string> value;  // none: the option is the last word
  std::string shown;
};
std::optional<OptionValue> option_value(const ValueOption& option, const std::vector<std::string>& arguments,
                                        std::size_t& i) {
  const std::string& word = arguments[i];
  if (word.starts_with(option.name) && word.size() > option.name.size() && word[option.name.size()] == '=') {
    return OptionValue{word.substr(option.name.size() + 1), word};
  }
  if (word != option.name && (option.short_name.empty() || word != option.short_name)) return std::nullopt;
  if (i + 1 == arguments.size()) return OptionValue{std::nullopt, word};
  ++i;
  return OptionValue{arguments[i], word + " " + arguments[i]};
}

}  // namespace

Result<Settings> parse_args(const std::vector<std::string>& arguments) {
  // cargo starts a subcommand with its name as the first argument.
  std::size_t i = !arguments.empty() && arguments.front() == "tersify" ? 1 : 0;
  Settings settings;
  bool options_end = false;
  for (; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (!word.starts_with('-')) {
      settings.paths.push_back(word);
    } else if (options_end) {
      // What cargo fmt passes on to rustfmt: only its check mode means
      // something here.
      if (word != "--check") return fail(word + ": unknown option after --");
      settings.check = true;
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
    } else if (word == "--quiet" || word == "-q") {
      settings.quiet = true;
    } else if (word == "--verbose" || word == "-v") {
      settings.verbose = true;
    } else if (word == "--all") {
      settings.all_packages = true;
    } else if (auto package = option_value({"--package", "-p"}, arguments, i)) {
      if (!package->value || package->value->empty()) return fail(package->shown + ": expected a package name");
      settings.packages.push_back(std::move(*package->value));
    } else if (auto manifest = option_value({"--manifest-path", ""}, arguments, i)) {
      if (!manifest->value || file_name(*manifest->value) != "Cargo.toml") {
        return fail(manifest->shown + ": expected the path of a Cargo.toml");
      }
      if (settings.manifest_path) return fail(manifest->shown + ": only one manifest path may be given");
      settings.manifest_path = std::move(*manifest->value);
    } else if (auto width_option = option_value({"--width", ""}, arguments, i)) {
      auto width = parse_width(width_option->value, width_option->shown);
      if (!width) return fail(std::move(width).error());
      // The first width given is the one used.
      if (!settings.width_override) settings.width_override = *width;
    } else {
      return fail(word + ": unknown option");
    }
  }
  // The report is all that --diff gives.
  if (settings.quiet && settings.diff) return fail("--quiet: can't be combined with --diff");
  if (settings.paths.empty() && !settings.selects_packages()) {
    // Without a selection: the package at the manifest path, as a run in its folder would be.
    auto folder = settings.manifest_path ? parent_path(*settings.manifest_path) : std::nullopt;
    settings.paths.push_back(folder && !folder->empty() ? std::move(*folder) : std::string("."));
  }
  return settings;
}

std::string usage_text() {
  return "Formats Rust sources with rustfmt, then packs them into a compact layout.\n"
         "\n"
         "Usage: cargo tersify [options] [path ...] [-- [--check] [path ...]]\n"
         "\n"
         "Options:\n"
         "  --check                 write nothing; list the files that would change, exit 1 if any\n"
         "  --diff                  like --check, but print a diff of what would change\n"
         "  --width N               maximum line width for every file (default: rustfmt.toml's max_width, or 160)\n"
         "  --all                   every member of the workspace\n"
         "  -p, --package NAME      the files of this workspace member (repeatable)\n"
         "  --manifest-path PATH    the Cargo.toml whose workspace --all and -p look in (default: found from\n"
         "                          the working directory); alone, the files of its folder\n"
         "  -q, --quiet             print nothing on standard output; the exit status tells\n"
         "  -v, --verbose           name each file on standard error as it is handled\n"
         "  -h, --help              print this text\n"
         "  -V, --version           print the version\n"
         "\n"
         "Without packages, paths default to the working directory. Exit status: 0 done, 1 --check found\n"
         "changes, 2 failure.\n";
}

std::string version_text() { return "cargo-tersify " TERSIFY_VERSION "\n"; }

}  // namespace tersify
