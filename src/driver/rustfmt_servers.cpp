#include "driver/rustfmt_servers.h"

#include <chrono>
#include <utility>

namespace tersify::driver {
namespace {

// A server starts about as fast as a plain rustfmt; one that has not said
// hello after this long is not going to help.
constexpr std::chrono::seconds ready_limit{5};

}  // namespace

RustfmtServers::RustfmtServers(Program rustfmt, ToolchainChoices& toolchains, RustfmtCounts& counts)
    : rustfmt_(std::move(rustfmt)), counts_(counts), toolchains_(toolchains) {}

RustfmtServers::~RustfmtServers() = default;

RustfmtServers::Server* RustfmtServers::ready_server(const std::vector<std::string>& args, const std::string& folder) {
  Key key{args, toolchains_.choice_for(folder)};
  Server* server = nullptr;
  {
    std::lock_guard lock(mutex_);
    auto& entry = servers_[key];
    if (!entry) {
      entry = std::make_unique<Server>();
      Server* fresh = entry.get();
      fresh->started_ = starter_
                            .run([this, fresh, args, folder] {
                              auto started = ForkServer::start(rustfmt_, args, rustfmt_library, folder);
                              if (!started) return;
                              fresh->server_ = std::move(*started);
                              ++counts_.servers;
                            })
                            .share();
    }
    server = entry.get();
  }
  server->started_.wait();
  if (!server->server_ || server->given_up_) return nullptr;
  if (server->server_->wait_ready(ready_limit)) return server;
  give_up(*server);
  return nullptr;
}

void RustfmtServers::give_up(Server& server) {
  if (!server.given_up_.exchange(true)) ++counts_.servers_dropped;
}

}  // namespace tersify::driver
