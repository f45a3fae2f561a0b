// cargo-tersify: formats Rust sources with rustfmt, then packs them into a
// compact layout. Started by cargo as `cargo tersify ...` or directly.

#include <utility>

#include "cargo_tersify/args.h"
#include "cargo_tersify/run.h"
#include "cargo_tersify/run_options.h"
#include "util/child_registry.h"
#include "util/command_line.h"
#include "util/spawn.h"

int main(int argc, char** argv) {
  tersify::ignore_write_signals();
  tersify::end_children_with_the_process();

  auto arguments = tersify::utf8_arguments(argc, argv);
  if (!arguments) return tersify::report_failure(arguments.error());
  auto args = tersify::parse_args(*arguments);
  if (!args) return tersify::report_failure(std::move(args).error());
  if (args->action != tersify::Action::run) {
    bool help = args->action == tersify::Action::help;
    return tersify::finish_process(tersify::print_text(help ? tersify::usage_text() : tersify::version_text()));
  }
  auto options = tersify::run_options(std::move(*args), tersify::driver::read_environment());
  if (!options) return tersify::report_failure(options.error());
  return tersify::finish_process(tersify::run(*options));
}
