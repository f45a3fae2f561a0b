// tersify-rustfmt: a stand-in for rustfmt in an editor's format on save. It
// formats the Rust source on standard input as cargo tersify would format a
// file of the working directory, and writes the result to standard output.

#include <unistd.h>

#include <string>
#include <vector>

#include "main/filter_args.h"
#include "main/filter_run.h"
#include "util/child_registry.h"
#include "util/fs.h"
#include "util/process.h"

int main(int argc, char** argv) {
  tersify::ignore_write_signals();
  tersify::end_children_with_the_process();

  auto settings = tersify::parse_filter_args(std::vector<std::string>(argv + 1, argv + argc));
  if (!settings) {
    (void)tersify::write_all(STDERR_FILENO, settings.error() + "\n");
    return 2;
  }
  return tersify::run_filter(*settings);
}
