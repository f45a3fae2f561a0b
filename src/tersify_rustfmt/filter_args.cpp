#include "tersify_rustfmt/filter_args.h"

namespace tersify {

Result<FilterArguments> parse_filter_args(const std::vector<std::string>& arguments) {
  FilterArguments args;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == "--help" || word == "-h") {
      args.action = Action::help;
      return args;
    }
    if (word == "--version" || word == "-V") {
      args.action = Action::version;
      return args;
    }
    if (word == "--quiet" || word == "-q") continue;
    if (auto width = option_value(driver::width_option, arguments, i)) {
      if (auto taken = driver::take_width(*width, args.overrides); !taken) return fail(std::move(taken).error());
    } else if (auto edition = option_value({"--edition"}, arguments, i)) {
      // Passed on as it is, like an edition from cargo: rustfmt knows which
      // editions it supports, and says so when it gets another.
      if (!edition->value || edition->value->empty()) return fail(edition->shown + ": missing value");
      args.overrides.edition = std::move(*edition->value);
    } else if (auto file = option_value({"--stdin-filename"}, arguments, i)) {
      if (!file->value || file->value->empty()) return fail(file->shown + ": missing value");
      args.file_name = std::move(*file->value);
    } else if (auto emit = option_value({"--emit"}, arguments, i)) {
      // The text goes nowhere else.
      if (!emit->value) return fail(emit->shown + ": missing value");
      if (*emit->value != "stdout") return fail(emit->shown + ": only stdout is supported");
    } else {
      return fail(word + ": unsupported argument");
    }
  }
  return args;
}

std::string filter_usage_text() {
  return "Formats Rust source on standard input as cargo tersify would format the file, on standard output.\n"
         "\n"
         "Usage: tersify-rustfmt [options] < FILE\n"
         "\n"
         "Options:\n"
         "  --stdin-filename PATH   the file the text is for, which need not exist: its folder, package and\n"
         "                          rustfmt.toml give the settings (default: a file in the working directory)\n"
         "  --edition E             the Rust edition (default: the package's, or 2021)\n"
         "  --width N               maximum line width (default: rustfmt.toml's max_width, or 160)\n"
         "  --emit stdout           accepted, as editors pass it to rustfmt\n"
         "  -q, --quiet             accepted, as editors pass it to rustfmt\n"
         "  -h, --help              print this text\n"
         "  -V, --version           print the version\n"
         "\n"
         "Exit status: 0 with the text on standard output, 2 on failure with one line on standard error.\n";
}

std::string filter_version_text() { return "tersify-rustfmt " TERSIFY_VERSION "\n"; }

}  // namespace tersify
