#include "support/tools.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include "support/temp_dir.h"

namespace tersify::test {

std::string find_program(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

Program on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  return {name, path != nullptr ? path : default_search_path};
}

void write_logging_wrapper(const std::string& dir, const std::string& name, const std::string& log) {
  std::string real = find_program(name);
  write_script(dir + "/" + name, "echo \"$*\" >> '" + log + "'\nexec '" + real + "' \"$@\"\n");
}

void write_failing_on_call(const std::string& dir, const std::string& name, int failing_call,
                           const std::string& failure, const std::string& every_call) {
  std::string count = dir + "/" + name + ".count";
  std::string bin = dir + "/bin";
  ::mkdir(bin.c_str(), 0755);
  write_script(bin + "/" + name, "n=$(( $(cat '" + count + "' 2>/dev/null || echo 0) + 1 ))\necho $n > '" + count +
                                     "'\n" + every_call + "\nif [ $n -eq " + std::to_string(failing_call) +
                                     " ]; then\n" + failure + "\nfi\nexec '" + find_program(name) + "' \"$@\"\n");
}

void write_failing_on_input(const std::string& dir, const std::string& name, const std::string& marker,
                            const std::string& failure) {
  std::string bin = dir + "/bin";
  ::mkdir(bin.c_str(), 0755);
  write_script(bin + "/" + name, "input=$(mktemp)\ncat > \"$input\"\nif grep -qF '" + marker +
                                     "' \"$input\"; then\nrm -f \"$input\"\n" + failure + "\nfi\n'" +
                                     find_program(name) +
                                     "' \"$@\" < \"$input\"\nstatus=$?\nrm -f \"$input\"\nexit $status\n");
}

int count_lines(const std::string& path) {
  std::ifstream in(path);
  int lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) old_ = old;
  ::setenv(name_.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    ::setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

}  // namespace tersify::test
