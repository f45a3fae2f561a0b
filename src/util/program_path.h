#pragma once
// Finding a program on a search path the way execvp does, ahead of a start.

#include <string>

#include "util/result.h"

namespace tersify {

// A program as a command line names it, with the search path (a PATH value,
// read once at start) it is found on.
struct Program {
  std::string name;
  std::string search_path;

  // The file that execvp would run: the name itself when it holds a "/",
  // otherwise the first executable regular file named so in a directory of
  // the search path (an empty entry is the working directory). Fails with
  // EACCES when a file of that name was passed over because it may not be
  // run, ENOENT otherwise.
  Result<std::string, int> find() const;

  // Whether the file find() finds is an ELF executable. A script (a
  // wrapper, a stand-in) can't become a fork server, nor be trusted to read
  // files as the real program does.
  bool is_elf() const;
};

// The search path execvp uses when PATH is not set.
inline constexpr const char* default_search_path = "/bin:/usr/bin";

}  // namespace tersify
