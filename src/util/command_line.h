#pragma once
// What both executables do with their command line and their one line of
// failure.

#include <string>
#include <string_view>
#include <vector>

#include "util/result.h"

namespace tersify {

// The exit status of a run that failed.
inline constexpr int failure_status = 2;

// The arguments after the program name. Fails with the line to print,
// "{argument, lossily decoded}: argument is not valid UTF-8", for the first
// argument that is not valid UTF-8.
Result<std::vector<std::string>> utf8_arguments(int argc, char** argv);

// Prints `line` and a line feed on standard error and gives failure_status.
// When standard error is gone too there is nowhere left to say it; the
// status still tells.
int report_failure(std::string line);

// Prints `text` on standard output and gives 0, or reports the failure to
// write it ("standard output: {}") and gives failure_status.
int print_text(std::string_view text);

}  // namespace tersify
