// cargo-tersify: formats Rust sources with rustfmt, then packs them into a
// compact layout. Started by cargo as `cargo tersify ...` or directly.

#include <cstdio>
#include <string>
#include <vector>

#include "main/args.h"
#include "main/environment.h"
#include "main/run.h"
#include "util/child_registry.h"
#include "util/process.h"
#include "util/text.h"

int main(int argc, char** argv) {
  tersify::ignore_write_signals();
  tersify::end_children_with_the_process();

  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    std::string argument(argv[i]);
    if (!tersify::is_valid_utf8(argument)) {
      std::fprintf(stderr, "%s: argument is not valid UTF-8\n", tersify::lossy_utf8(argument).c_str());
      return 2;
    }
    arguments.push_back(std::move(argument));
  }
  auto environment = tersify::read_environment();
  if (!environment) {
    std::fprintf(stderr, "%s\n", environment.error().c_str());
    return 2;
  }
  return tersify::run(tersify::parse_args(arguments), *environment);
}
