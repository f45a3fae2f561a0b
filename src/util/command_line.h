#pragma once
// What both executables do with their command line and their one line of
// failure, so that both read options by one grammar.

#include <cstddef>
#include <cstdint>
#include <optional>
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

// What a command line asks for: a run, or a text to print (--help,
// --version). Either text is printed wherever it comes, and the rest of the
// command line is not read.
enum class Action { run, help, version };

// An option that takes a value, written "--name value", "--name=value" or,
// when it has one, "-x value".
struct ValueOption {
  std::string_view name;
  std::string_view short_name = {};
};

// An option as a command line gave it.
struct OptionValue {
  std::optional<std::string> value;  // none: the option was the last word
  std::string shown;                 // as a message names it: "--width 0", "--width=0"
};

// The value of `option` at `arguments[i]`, advancing `i` past a separate
// value; none when the word is not this option.
std::optional<OptionValue> option_value(const ValueOption& option, const std::vector<std::string>& arguments,
                                        std::size_t& i);

// The option's value as an integer from 1 up (util/text.h's number syntax).
// Fails with the line to print.
Result<std::uint64_t> positive_integer(const OptionValue& option);

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
