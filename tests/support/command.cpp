#include "support/command.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/temp_dir.h"

extern char** environ;

namespace tersify::test {
namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

CommandResult run_command(const std::vector<std::string>& argv, const CommandOptions& options) {
  // Streams go through files so that any amount of output is fine.
  TempDir io;
  io.write("in", options.input);
  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) env_strings.emplace_back(*e);
  auto set_env = [&](const std::string& entry) {
    auto name = entry.substr(0, entry.find('=') + 1);
    for (auto& existing : env_strings) {
      if (existing.starts_with(name)) {
        existing = entry;
        return;
      }
    }
    env_strings.push_back(entry);
  };
  for (const auto& entry : options.env) set_env(entry);
  if (!options.path_prefix.empty()) {
    const char* old = std::getenv("PATH");
    set_env("PATH=" + options.path_prefix + ":" + (old ? old : "/usr/bin:/bin"));
  }
  std::vector<char*> envp;
  for (auto& e : env_strings) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> cargv;
  for (auto& a : args) cargv.push_back(a.data());
  cargv.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int in = ::open((io / "in").c_str(), O_RDONLY);
    int out = ::open((io / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open((io / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(125);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (!options.cwd.empty() && ::chdir(options.cwd.c_str()) != 0) ::_exit(126);
    // The path_prefix PATH must also be the one the lookup uses.
    for (auto& e : env_strings) {
      if (e.starts_with("PATH=")) ::setenv("PATH", e.c_str() + 5, 1);
    }
    ::execvpe(cargv[0], cargv.data(), envp.data());
    ::_exit(127);
  }
  int wstatus = 0;
  while (::waitpid(pid, &wstatus, 0) < 0) {
  }
  CommandResult result;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  result.out = slurp(io / "out");
  result.err = slurp(io / "err");
  return result;
}

namespace {

// The tools run without the user's result cache unless a test turns it on
// (its own entries then come after this one and replace it).
CommandResult run_tool(const char* binary, const std::vector<std::string>& args, const CommandOptions& options) {
  std::vector<std::string> argv{binary};
  argv.insert(argv.end(), args.begin(), args.end());
  CommandOptions without_cache = options;
  without_cache.env = {std::string("CARGO_TERSIFY_CACHE=0")};
  without_cache.env.insert(without_cache.env.end(), options.env.begin(), options.env.end());
  return run_command(argv, without_cache);
}

}  // namespace

CommandResult run_tersify(const std::vector<std::string>& args, const CommandOptions& options) {
  return run_tool(TERSIFY_BINARY, args, options);
}

CommandResult run_filter(const std::vector<std::string>& args, const CommandOptions& options) {
  return run_tool(TERSIFY_FILTER_BINARY, args, options);
}

}  // namespace tersify::test
