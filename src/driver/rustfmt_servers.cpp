#include "driver/rustfmt_servers.h"

#include <chrono>
#include <utility>

#include "fork_server/served_run.h"

namespace tersify::driver {
namespace {

// A server starts about as fast as a plain rustfmt; one that has not said
// hello after this long is not going to help.
constexpr std::chrono::seconds ready_limit{5};

// Whether a run of `server` with the argument "--version" prints rustfmt's
// version, as a plain start does.
bool gives_its_version(ForkServer& server, const std::string& folder) {
  auto run = ServedRun::start(server, {"--version"}, std::nullopt, folder);
  if (!run) return false;
  auto exit = run->finish();
  return exit && exit->success() && exit->out.starts_with("rustfmt ");
}

}  // namespace

RustfmtServers::RustfmtServers(Program rustfmt, ToolchainChoices& toolchains, RustfmtCounts& counts)
    : rustfmt_(std::move(rustfmt)), counts_(counts), toolchains_(toolchains) {}

RustfmtServers::~RustfmtServers() = default;

RustfmtServers::Server* RustfmtServers::ready_server(const std::string& folder) {
  Server* server = nullptr;
  {
    std::lock_guard lock(mutex_);
    auto& entry = servers_[toolchains_.choice_for(folder)];
    if (!entry) {
      entry = std::make_unique<Server>();
      Server* fresh = entry.get();
      fresh->started_ = starter_.run([this, fresh, folder] { start(*fresh, folder); }).share();
    }
    server = entry.get();
  }
  server->started_.wait();
  return server->server_ && !server->given_up_ ? server : nullptr;
}

void RustfmtServers::start(Server& server, const std::string& folder) {
  auto started = ForkServer::start(rustfmt_, rustfmt_library, folder);
  if (!started) return;
  ++counts_.servers;
  if (!started->wait_ready(ready_limit) || !gives_its_version(*started, folder)) {
    ++counts_.servers_dropped;
    return;
  }
  server.server_ = std::move(*started);
}

void RustfmtServers::give_up(Server& server) {
  if (!server.given_up_.exchange(true)) ++counts_.servers_dropped;
}

}  // namespace tersify::driver
