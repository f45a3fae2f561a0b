#include "driver/rustfmt.h"

#include <chrono>
#include <vector>

#include "fork_server/served_run.h"
#include "util/process.h"
#include "util/text.h"

namespace tersify::driver {
namespace {

// A server starts about as fast as a plain rustfmt; one that has not said
// hello after this long is not going to help.
constexpr std::chrono::seconds ready_limit{5};

bool only_whitespace(std::string_view text) {
  return text.find_first_not_of(" \t\n\r\f\v") == std::string_view::npos;
}

// The formatted text of `source` or the failure message of a collected rustfmt.
Result<std::string> formatted_text(std::string_view source, Result<ChildExit, ChildError> exit) {
  if (!exit) return fail(std::move(exit).error().message);
  // Warnings on standard error of a successful run are dropped; on failure
  // the whole text is the message, trailing newline included, and a failure
  // that says nothing is named by how it ended.
  if (!exit->success()) {
    if (!exit->err.empty()) return fail(lossy_utf8(exit->err));
    if (exit->signal) return fail("rustfmt was killed by signal " + std::to_string(*exit->signal));
    return fail("rustfmt exited with status " + std::to_string(exit->code.value_or(-1)));
  }
  // Code never formats to nothing: an empty answer is a broken rustfmt,
  // which must not empty the file.
  if (exit->out.empty() && !only_whitespace(source)) return fail("rustfmt printed nothing for a non-empty file");
  return lossy_utf8(exit->out);
}

}  // namespace

Result<std::string> run_rustfmt(std::string_view source, const FileSettings& settings, int cancel_fd) {
  // In the file's folder, as cargo fmt runs it: its configuration, and the
  // toolchain the rustup proxy picks there.
  auto child = RunningChild::start("rustfmt", rustfmt_args(settings), source, settings.folder);
  if (!child) return fail("failed to run rustfmt: " + std::move(child).error().message);
  return formatted_text(source, child->finish(cancel_fd));
}

Rustfmt::Rustfmt(bool fork_server) : fork_server_(fork_server) {}

Rustfmt::~Rustfmt() = default;

ServerKey Rustfmt::server_key(const FileSettings& settings) {
  return {rustfmt_args(settings), toolchains_.choice_for(settings.folder)};
}

void Rustfmt::prepare(const FileSettings& settings) {
  if (!fork_server_) return;
  auto key = server_key(settings);
  {
    std::lock_guard lock(mutex_);
    if (servers_.contains(key)) return;
  }
  // A script named rustfmt (a wrapper, a stand-in) can't serve: it is not
  // run for nothing.
  if (!elf_) elf_ = is_elf_program_on_path("rustfmt");
  auto server = std::make_unique<Server>();
  if (*elf_) {
    // Started in the file's folder, so that the rustup proxy picks the
    // toolchain that a plain start there gets.
    auto started = ForkServer::start("rustfmt", key.args, rustfmt_library, settings.folder);
    if (started) server->server = std::move(*started);
  }
  std::lock_guard lock(mutex_);
  servers_.emplace(std::move(key), std::move(server));
}

Rustfmt::Server* Rustfmt::server_for(const FileSettings& settings) {
  auto key = server_key(settings);
  std::lock_guard lock(mutex_);
  auto found = servers_.find(key);
  if (found == servers_.end() || !found->second->server || found->second->given_up) return nullptr;
  return found->second.get();
}

void Rustfmt::give_up(Server& server) {
  if (!server.given_up.exchange(true)) ++dropped_;
}

Result<std::string> Rustfmt::format(std::string_view source, const FileSettings& settings, int cancel_fd) {
  if (Server* server = server_for(settings)) {
    if (!server->server->wait_ready(ready_limit)) {
      give_up(*server);
    } else {
      auto run = ServedRun::start(*server->server, source, settings.folder);
      Result<ChildExit, ServedRunError> exit = run ? run->finish(cancel_fd) : fail(std::move(run).error());
      if (exit || !exit.error().server_lost) {
        ++served_;
        return formatted_text(source, exit ? Result<ChildExit, ChildError>(std::move(*exit))
                                   : fail(std::move(exit).error().error));
      }
      // The server is gone or could not fork: this run and the rest start
      // afresh.
      give_up(*server);
    }
  }
  ++plain_;
  return run_rustfmt(source, settings, cancel_fd);
}

RustfmtCounts Rustfmt::counts() const {
  std::lock_guard lock(mutex_);
  std::uint64_t started = 0;
  for (const auto& [args, server] : servers_) started += server->server ? 1u : 0u;
  return {plain_.load(), served_.load(), started, dropped_.load()};
}

}  // namespace tersify::driver
