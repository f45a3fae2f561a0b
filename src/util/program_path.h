#pragma once
// Finding a program on PATH the way execvp does, ahead of a start.

#include <string>

#include "util/result.h"

namespace tersify {

// The file that execvp would run for `program`: the name itself when it holds
// a "/", otherwise the first executable regular file named so in a PATH
// directory (an empty entry is the working directory; without PATH,
// "/bin:/usr/bin"). Fails with EACCES when a file of that name was passed
// over because it may not be run, ENOENT otherwise.
Result<std::string, int> find_program_on_path(const std::string& program);

// Whether the file find_program_on_path finds for `program` is an ELF
// executable. A script (a wrapper, a stand-in) can't become a fork server,
// nor be trusted to read files as the real program does.
bool is_elf_program_on_path(const std::string& program);

}  // namespace tersify
