#pragma once
// Test support for runs that involve the real cargo and rustfmt: finding
// them, wrapping them to count their runs, and changing PATH for a scope.

#include <optional>
#include <string>

#include "util/program_path.h"

namespace tersify::test {

// The absolute path of `program` as the current PATH finds it, or "" when it
// finds none.
std::string find_program(const std::string& program);

// `name` on the current PATH, as the tool finds programs.
Program on_path(const std::string& name);

// Writes an executable `dir/name` that appends one line with its arguments to
// `log` and then runs the real program of that name with them.
void write_logging_wrapper(const std::string& dir, const std::string& name, const std::string& log);

// Writes an executable `dir/bin/name` that runs the real program, except on
// its call number `failing_call` (counted in `dir/name.count`), where it runs
// the shell text `failure` first (which normally exits). `every_call` runs on
// every call before that, with the call number in $n.
void write_failing_on_call(const std::string& dir, const std::string& name, int failing_call,
                           const std::string& failure, const std::string& every_call = "");

// Writes an executable `dir/bin/name` that reads its whole standard input
// and runs the shell text `failure` when the input contains `marker` (which
// must not hold a single quote); otherwise it runs the real program on that
// input. Works whatever the order of calls, so for files side by side too.
void write_failing_on_input(const std::string& dir, const std::string& name, const std::string& marker,
                            const std::string& failure);

// Number of lines in the file at `path` (0 when it is missing).
int count_lines(const std::string& path);

// Sets the environment variable `name` for this process until the guard
// goes; the code under test and the children it starts see it.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Sets PATH for this process until the guard goes; child processes that the
// code under test starts look programs up there.
class ScopedPath : public ScopedEnv {
 public:
  explicit ScopedPath(const std::string& value) : ScopedEnv("PATH", value) {}
};

}  // namespace tersify::test
