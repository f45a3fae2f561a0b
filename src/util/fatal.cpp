#include "util/fatal.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace tersify {

void internal_error(std::string_view message) {
  std::string line = "cargo-tersify: internal error: ";
  line.append(message);
  line.push_back('\n');
  // Written with write(2) so that nothing buffered or locked in iostreams can
  // stand in the way of the message.
  const char* data = line.data();
  size_t left = line.size();
  while (left > 0) {
    ssize_t n = ::write(STDERR_FILENO, data, left);
    if (n <= 0) break;
    data += n;
    left -= static_cast<size_t>(n);
  }
  std::_Exit(internal_error_status);
}

}  // namespace tersify
