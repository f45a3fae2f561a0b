#include "util/command_line.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "util/fs.h"
#include "util/io_error.h"
#include "util/text.h"

namespace tersify {

Result<std::vector<std::string>> utf8_arguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    std::string argument(argv[i]);
    if (!is_valid_utf8(argument)) return fail(lossy_utf8(argument) + ": argument is not valid UTF-8");
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

std::optional<OptionValue> option_value(const ValueOption& option, const std::vector<std::string>& arguments,
                                        std::size_t& i) {
  const std::string& word = arguments[i];
  if (word.starts_with(option.name) && word.size() > option.name.size() && word[option.name.size()] == '=') {
    return OptionValue{word.substr(option.name.size() + 1), word};
  }
  if (word != option.name && (option.short_name.empty() || word != option.short_name)) return std::nullopt;
  if (i + 1 == arguments.size()) return OptionValue{std::nullopt, word};
  ++i;
  return OptionValue{arguments[i], word + " " + arguments[i]};
}

Result<std::uint64_t> positive_integer(const OptionValue& option) {
  auto number = option.value ? parse_unsigned(*option.value) : std::nullopt;
  if (!number || *number == 0) return fail(option.shown + ": expected an integer from 1 up");
  return *number;
}

int report_failure(std::string line) {
  line.push_back('\n');
  (void)write_all(STDERR_FILENO, line);
  return failure_status;
}

}  // namespace tersify

namespace tersify {

Result<int> write_standard_output(std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EPIPE) return closed_output_status;
    if (n < 0) return fail("standard output: " + io_error_text(errno));
    if (n == 0) return fail(std::string("standard output: failed to write whole buffer"));
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

int print_text(std::string_view text) {
  auto written = write_standard_output(text);
  return written ? *written : report_failure(std::move(written).error());
}

int finish_process(int status) {
  if (status != closed_output_status) return status;
  // SIGPIPE is ignored for the whole run, so that a closed pipe is an error
  // the run sees; now it ends the process as it would have ended it.
  std::signal(SIGPIPE, SIG_DFL);
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_UNBLOCK, &pipe_signal, nullptr);
  std::raise(SIGPIPE);
  return status;
}

}  // namespace tersify
