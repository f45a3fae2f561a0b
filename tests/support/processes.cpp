#include "support/processes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

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
  size_t name_start = text.find('('), name_end = text.rfind(')');
  if (name_end == std::string::npos) return std::nullopt;
  std::istringstream rest(text.substr(name_end + 1));
  ProcessStat stat{-1, '?', text.substr(name_start + 1, name_end - name_start - 1)};
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

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds every) {
  for (auto waited = every * 0; waited < std::chrono::seconds(20); waited += every) {
    if (done()) return true;
    std::this_thread::sleep_for(every);
  }
  return done();
}

pid_t start_in_background(const std::vector<std::string>& argv, const std::string& cwd,
                          const std::vector<std::string>& env) {
  // Everything the child needs is made before the fork.
  std::vector<std::string> args = argv, entries = env;
  auto name_of = [](std::string_view entry) { return entry.substr(0, entry.find('=') + 1); };
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::ranges::none_of(env, [&](const std::string& added) { return name_of(added) == name_of(*e); }))
      entries.emplace_back(*e);
  }
  auto pointers = [](std::vector<std::string>& strings) {
    std::vector<char*> list;
    for (auto& s : strings) list.push_back(s.data());
    list.push_back(nullptr);
    return list;
  };
  auto arg_list = pointers(args), env_list = pointers(entries);
  pid_t pid = ::fork();
  if (pid == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    if ((!cwd.empty() && ::chdir(cwd.c_str()) != 0) || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0) ::_exit(126);
    ::execve(arg_list[0], arg_list.data(), env_list.data());
    ::_exit(127);
  }
  return pid;
}

}  // namespace tersify::test
