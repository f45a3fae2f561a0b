#include "util/process.h"

#include <csignal>

namespace tersify {

void ignore_sigpipe() { std::signal(SIGPIPE, SIG_IGN); }

Result<ChildExit, ChildError> run_child(const std::string&, const std::vector<std::string>&,
                                        std::optional<std::string_view>) {
  return fail(ChildError{ChildError::Stage::start, "not implemented"});
}

}  // namespace tersify
