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

// The status that stands for a standard output whose reader is gone (as
// in `cargo tersify --diff | head -1`): finish_process turns it into the
// end that command-line tools such as cat, grep and git have then, killed
// by SIGPIPE without a word (the shell shows 128 + 13).
inline constexpr int closed_output_status = 141;

// Writes `text` on standard output: 0 once it is written, or
// closed_output_status when nobody reads it any more. Fails with "standard
// output: {I/O error text}".
Result<int> write_standard_output(std::string_view text);

// Prints `text` on standard output and gives 0 or closed_output_status, or
// reports the failure to write it and gives failure_status.
int print_text(std::string_view text);

// What main returns for a run that ends with `status`: the status itself,
// except closed_output_status, which ends the process by SIGPIPE instead.
// Called once everything of the run is released.
int finish_process(int status);

}  // namespace tersify
