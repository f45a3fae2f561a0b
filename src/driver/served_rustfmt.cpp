#include "driver/served_rustfmt.h"

#include <utility>

#include "driver/fresh_rustfmt.h"
#include "fork_server/fork_server.h"
#include "fork_server/served_run.h"

namespace tersify::driver {

void ServedRustfmt::format(std::span<const FormatRequest> requests, const Cancellation* cancel,
                           const FormatDone& done) {
  int cancel_fd = cancel != nullptr ? cancel->fd() : -1;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    if (cancel != nullptr && cancel->requested()) {
      done(i, fail("cancelled"));
      continue;
    }
    const FormatRequest& request = requests[i];
    const FileSettings& settings = *request.settings;
    auto args = rustfmt_args(settings);
    // Arguments a server can't take go to a plain start, and the server stays.
    if (auto* server = ForkServer::takes(args) ? servers_.ready_server(settings.folder) : nullptr) {
      auto run = ServedRun::start(server->get(), args, request.text, settings.folder);
      Result<ChildExit, ServedRunError> exit = run ? run->finish(cancel_fd) : fail(std::move(run).error());
      if (exit || !exit.error().server_lost) {
        ++counts_.served;
        done(i, rustfmt_result(request.text, exit ? Result<ChildExit, ChildError>(std::move(*exit))
                                                  : fail(std::move(exit).error().error)));
        continue;
      }
      // The server is gone or could not fork: this run and the rest go on
      // without it.
      servers_.give_up(*server);
    }
    next_.format({&request, 1}, cancel, [&](std::size_t, Result<std::string> result) { done(i, std::move(result)); });
  }
}

}  // namespace tersify::driver
