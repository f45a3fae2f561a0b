#include "util/fatal.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "util/fs.h"

namespace tersify {

void internal_error(std::string_view message) {
  std::string line = "cargo-tersify: internal error: ";
  line.append(message);
  line.push_back('\n');
  // Written with write(2) so that nothing buffered or locked in iostreams can
  // stand in the way of the message.
  (void)write_all(STDERR_FILENO, line);
  std::_Exit(internal_error_status);
}

}  // namespace tersify
