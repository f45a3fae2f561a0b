#include "support/processes.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tersify::test {
namespace {

// The pids listed in /proc at this moment.
std::vector<pid_t> all_pids() {
  std::vector<pid_t> pids;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ignored)) {
    pid_t pid = static_cast<pid_t>(std::atoi(entry.path().filename().c_str()));
    if (pid > 0) pids.push_back(pid);
  }
  return pids;
}

}  // namespace

std::optional<ProcessStat> process_stat(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(in, text);
  // The command name may hold spaces and parentheses: the fields follow the
  // last ')'.
  size_t name_end = text.rfind(')');
  if (name_end == std::string::npos) return std::nullopt;
  std::istringstream rest(text.substr(name_end + 1));
  ProcessStat stat{-1, '?'};
  rest >> stat.state >> stat.parent;
  return stat;
}

std::vector<pid_t> live_children_of(pid_t parent) {
  std::vector<pid_t> children;
  for (pid_t pid : all_pids()) {
    auto stat = process_stat(pid);
    if (stat && stat->parent == parent && stat->state != 'Z') children.push_back(pid);
  }
  return children;
}

std::vector<pid_t> processes_in(const std::string& dir) {
  std::vector<pid_t> found;
  for (pid_t pid : all_pids()) {
    char cwd[4096];
    ssize_t n = ::readlink(("/proc/" + std::to_string(pid) + "/cwd").c_str(), cwd, sizeof cwd - 1);
    if (n <= 0) continue;
    std::string path(cwd, static_cast<size_t>(n));
    if (path == dir || path.starts_with(dir + "/")) found.push_back(pid);
  }
  return found;
}

}  // namespace tersify::test
