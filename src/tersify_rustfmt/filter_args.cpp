#include "tersify_rustfmt/filter_args.h"

#include <string_view>

#include "util/text.h"

namespace tersify {
namespace {

// Stores the value of `option` in `settings`. `argument` is the option and
// value as given, for the message.
Status take_value(std::string_view option, std::string_view value, const std::string& argument,
                  FilterSettings& settings) {
  if (option == "--edition") {
    // Passed on as it is, like an edition from cargo: rustfmt knows which
    // editions it supports, and says so when it gets another.
    if (value.empty()) return fail(argument + ": missing value");
    settings.overrides.edition = std::string(value);
  } else if (option == "--width") {
    auto width = parse_unsigned(value);
    if (!width) return fail(argument + ": expected an unsigned integer");
    settings.overrides.max_width = *width;
  } else if (option == "--stdin-filename") {
    if (value.empty()) return fail(argument + ": missing value");
    settings.file_name = std::string(value);
  } else if (value != "stdout") {  // --emit: the text goes nowhere else
    return fail(argument + ": only stdout is supported");
  }
  return {};
}

}  // namespace

Result<FilterSettings> parse_filter_args(const std::vector<std::string>& arguments) {
  FilterSettings settings;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--quiet" || argument == "-q") continue;

    Status taken;
    if (argument == "--edition" || argument == "--width" || argument == "--emit" || argument == "--stdin-filename") {
      if (i + 1 == arguments.size()) return fail(argument + ": missing value");
      const std::string& value = arguments[++i];
      taken = take_value(argument, value, argument + " " + value, settings);
    } else if (argument.starts_with("--edition=") || argument.starts_with("--emit=") ||
               argument.starts_with("--stdin-filename=")) {
      // The joined form is rustfmt's; --width is the tool's own and has none.
      std::string_view text = argument;
      size_t equals = text.find('=');
      taken = take_value(text.substr(0, equals), text.substr(equals + 1), argument, settings);
    } else {
      return fail(argument + ": unsupported argument");
    }
    if (!taken) return fail(std::move(taken).error());
  }
  return settings;
}

}  // namespace tersify
