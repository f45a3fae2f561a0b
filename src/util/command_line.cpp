#include "util/command_line.h"

#include <unistd.h>

#include "util/fs.h"
#include "util/text.h"

namespace tersify {

Result<std::vector<std::string>> utf8_arguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    std::string argument(argv[i]);
    if (!is_valid_utf8(argument)) return fail(lossy_utf8(argument) + ": argument is not valid UTF-8");
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

int report_failure(std::string line) {
  line.push_back('\n');
  (void)write_all(STDERR_FILENO, line);
  return failure_status;
}

}  // namespace tersify

namespace tersify {

int print_text(std::string_view text) {
  if (auto written = write_all(STDOUT_FILENO, text); !written) return report_failure("standard output: " + written.error());
  return 0;
}

}  // namespace tersify
