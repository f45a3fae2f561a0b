// tersify-rustfmt: a stand-in for rustfmt in an editor's format on save. It
// formats the Rust source on standard input as cargo tersify would format a
// file of the working directory, and writes the result to standard output.

#include "tersify_rustfmt/filter_args.h"
#include "tersify_rustfmt/filter_run.h"
#include "util/child_registry.h"
#include "util/command_line.h"
#include "util/spawn.h"

int main(int argc, char** argv) {
  tersify::ignore_write_signals();
  tersify::end_children_with_the_process();

  auto arguments = tersify::utf8_arguments(argc, argv);
  if (!arguments) return tersify::report_failure(arguments.error());
  auto args = tersify::parse_filter_args(*arguments);
  if (!args) return tersify::report_failure(args.error());
  if (args->action != tersify::Action::run) {
    bool help = args->action == tersify::Action::help;
    return tersify::finish_process(
        tersify::print_text(help ? tersify::filter_usage_text() : tersify::filter_version_text()));
  }
  return tersify::finish_process(tersify::run_filter(*args, tersify::driver::read_environment()));
}
