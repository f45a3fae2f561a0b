// cargo-tersify: formats Rust sources with rustfmt, then packs them into a
// compact layout. Started by cargo as `cargo tersify ...` or directly.

#include <cstdio>
#include <string>
#include <vector>

#include "main/args.h"
#include "main/run.h"
#include "util/process.h"
#include "util/text.h"

int main(int argc, char** argv) {
  tersify::ignore_write_signals();

  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    std::string argument(argv[i]);
    if (!tersify::is_valid_utf8(argument)) {
      std::fprintf(stderr, "%s: argument is not valid UTF-8\n", tersify::lossy_utf8(argument).c_str());
      return 2;
    }
    arguments.push_back(std::move(argument));
  }
  return tersify::run(tersify::parse_args(arguments));
}
