#include "cargo_tersify/args.h"

#include "util/paths.h"

namespace tersify {

Result<RunArguments> parse_args(const std::vector<std::string>& arguments) {
  // cargo starts a subcommand with its name as the first argument.
  std::size_t i = !arguments.empty() && arguments.front() == "tersify" ? 1 : 0;
  RunArguments args;
  bool options_end = false;
  for (; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (!word.starts_with('-')) {
      args.paths.push_back(word);
    } else if (options_end) {
      // What cargo fmt passes on to rustfmt: only its check mode means
      // something here.
      if (word != "--check") return fail(word + ": unknown option after --");
      args.check = true;
    } else if (word == "--") {
      options_end = true;
    } else if (word == "--help" || word == "-h") {
      args.action = Action::help;
      return args;
    } else if (word == "--version" || word == "-V") {
      args.action = Action::version;
      return args;
    } else if (word == "--check") {
      args.check = true;
    } else if (word == "--diff") {
      // Check mode that shows what would change.
      args.diff = true;
      args.check = true;
    } else if (word == "--quiet" || word == "-q") {
      args.quiet = true;
    } else if (word == "--verbose" || word == "-v") {
      args.verbose = true;
    } else if (word == "--all") {
      args.all_packages = true;
    } else if (auto package = option_value({"--package", "-p"}, arguments, i)) {
      if (!package->value || package->value->empty()) return fail(package->shown + ": expected a package name");
      args.packages.push_back(std::move(*package->value));
    } else if (auto manifest = option_value({"--manifest-path"}, arguments, i)) {
      if (!manifest->value || file_name(*manifest->value) != "Cargo.toml") {
        return fail(manifest->shown + ": expected the path of a Cargo.toml");
      }
      if (args.manifest_path) return fail(manifest->shown + ": only one manifest path may be given");
      args.manifest_path = std::move(*manifest->value);
    } else if (auto width = option_value(driver::width_option, arguments, i)) {
      if (auto taken = driver::take_width(*width, args.overrides); !taken) return fail(std::move(taken).error());
    } else {
      return fail(word + ": unknown option");
    }
  }
  // The report is all that --diff gives.
  if (args.quiet && args.diff) return fail("--quiet: can't be combined with --diff");
  if (args.paths.empty() && !args.selects_packages()) {
    // Without a selection: the package at the manifest path, as a run in its folder would be.
    auto folder = args.manifest_path ? parent_path(*args.manifest_path) : std::nullopt;
    args.paths.push_back(folder && !folder->empty() ? std::move(*folder) : std::string("."));
  }
  return args;
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
