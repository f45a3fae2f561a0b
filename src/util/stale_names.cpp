#include "util/stale_names.h"

#include <signal.h>

#include <cerrno>

#include "util/text.h"

namespace tersify {

bool left_by_dead_process(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return false;
  std::string_view rest = name.substr(prefix.size());
  auto pid = parse_unsigned(rest.substr(0, rest.find('-')));
  if (!pid || *pid == 0 || *pid > 4194304) return false;
  return ::kill(static_cast<pid_t>(*pid), 0) != 0 && errno == ESRCH;
}

}  // namespace tersify
