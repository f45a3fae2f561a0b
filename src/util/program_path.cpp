#include "util/program_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace tersify {
namespace {

bool is_executable_file(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<std::string> program_on_path(const std::string& program) {
  if (program.empty()) return std::nullopt;
  if (program.find('/') != std::string::npos) {
    if (is_executable_file(program)) return program;
    return std::nullopt;
  }
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : "/bin:/usr/bin";
  while (true) {
    size_t end = dirs.find(':');
    std::string_view dir = dirs.substr(0, end);
    std::string candidate = (dir.empty() ? std::string(".") : std::string(dir)) + "/" + program;
    // execvp passes over entries it may not execute; the first it may is
    // the one that runs.
    if (is_executable_file(candidate)) return candidate;
    if (end == std::string_view::npos) return std::nullopt;
    dirs.remove_prefix(end + 1);
  }
}

}  // namespace tersify
