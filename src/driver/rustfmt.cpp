#include "driver/rustfmt.h"

#include <chrono>
#include <vector>

#include "util/process.h"
#include "util/text.h"

namespace tersify::driver {
namespace {

// A server starts about as fast as a plain rustfmt; one that has not said
// hello after this long is not going to help.
constexpr std::chrono::seconds ready_limit{5};

std::string server_key(const std::string& edition, std::uint64_t max_width) {
  return edition + '\n' + std::to_string(max_width);
}

// The formatted text or the failure message of a collected rustfmt.
Result<std::string> formatted_text(Result<ChildExit, ChildError> exit) {
  if (!exit) return fail(std::move(exit).error().message);
  // Warnings on standard error of a successful run are dropped; on failure
  // the whole text is the message, trailing newline included.
  if (!exit->success()) return fail(lossy_utf8(exit->err));
  return lossy_utf8(exit->out);
}

}  // namespace

std::string rustfmt_config(std::uint64_t max_width) {
  return "max_width=" + std::to_string(max_width) + ",use_small_heuristics=Max,disable_all_formatting=false";
}

std::vector<std::string> rustfmt_args(const std::string& edition, std::uint64_t max_width) {
  return {"--edition", edition, "--emit", "stdout", "--config", rustfmt_config(max_width)};
}

Result<std::string> run_rustfmt(std::string_view source, const std::string& edition, std::uint64_t max_width,
                                int cancel_fd) {
  auto child = RunningChild::start("rustfmt", rustfmt_args(edition, max_width), source);
  if (!child) return fail("failed to run rustfmt: " + std::move(child).error().message);
  return formatted_text(child->finish(cancel_fd));
}

Rustfmt::Rustfmt(bool fork_server) : fork_server_(fork_server) {}

Rustfmt::~Rustfmt() = default;

void Rustfmt::prepare(const std::string& edition, std::uint64_t max_width) {
  if (!fork_server_) return;
  std::string key = server_key(edition, max_width);
  {
    std::lock_guard lock(mutex_);
    if (servers_.contains(key)) return;
  }
  // A script named rustfmt (a wrapper, a stand-in) can't serve: it is not
  // run for nothing.
  if (!elf_) elf_ = is_elf_program_on_path("rustfmt");
  auto server = std::make_unique<Server>();
  if (*elf_) {
    auto started = ForkServer::start("rustfmt", rustfmt_args(edition, max_width), rustfmt_library);
    if (started) server->server = std::move(*started);
  }
  std::lock_guard lock(mutex_);
  servers_.emplace(std::move(key), std::move(server));
}

Rustfmt::Server* Rustfmt::server_for(const std::string& edition, std::uint64_t max_width) {
  std::lock_guard lock(mutex_);
  auto found = servers_.find(server_key(edition, max_width));
  if (found == servers_.end() || !found->second->server || found->second->given_up) return nullptr;
  return found->second.get();
}

void Rustfmt::give_up(Server& server) {
  if (!server.given_up.exchange(true)) ++dropped_;
}

Result<std::string> Rustfmt::format(std::string_view source, const std::string& edition, std::uint64_t max_width,
                                    int cancel_fd) {
  if (Server* server = server_for(edition, max_width)) {
    if (!server->server->wait_ready(ready_limit)) {
      give_up(*server);
    } else {
      auto child = RunningChild::start_served(*server->server, source);
      Result<ChildExit, ChildError> exit = child ? child->finish(cancel_fd) : fail(std::move(child).error());
      if (exit || exit.error().stage != ChildError::Stage::server) {
        ++served_;
        return formatted_text(std::move(exit));
      }
      // The server is gone or could not fork: this run and the rest start
      // afresh.
      give_up(*server);
    }
  }
  ++plain_;
  return run_rustfmt(source, edition, max_width, cancel_fd);
}

RustfmtCounts Rustfmt::counts() const {
  std::lock_guard lock(mutex_);
  std::uint64_t started = 0;
  for (const auto& [key, server] : servers_) started += server->server ? 1u : 0u;
  return {plain_.load(), served_.load(), started, dropped_.load()};
}

}  // namespace tersify::driver
