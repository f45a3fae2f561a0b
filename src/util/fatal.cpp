#include "util/fatal.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "util/child_registry.h"
#include "util/fs.h"
#include "util/temp_file_registry.h"

namespace tersify {

void internal_error(std::string_view message) {
  std::string line = "cargo-tersify: internal error: ";
  line.append(message);
  line.push_back('\n');
  // Written with write(2) so that nothing buffered or locked in iostreams can
  // stand in the way of the message.
  (void)write_all(STDERR_FILENO, line);
  // Other threads may be running: _Exit skips every destructor they could
  // still be using. The children would outlive the process otherwise.
  kill_registered_children();
  remove_noted_temp_files();
  std::_Exit(internal_error_status);
}

}  // namespace tersify
