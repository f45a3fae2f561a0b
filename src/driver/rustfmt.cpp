#include "driver/rustfmt.h"

#include <chrono>
#include <vector>

#include "driver/rustfmt_batch.h"
#include "driver/rustfmt_message.h"
#include "fork_server/served_run.h"
#include "util/running_child.h"
#include "util/text.h"

namespace tersify::driver {
namespace {

// A server starts about as fast as a plain rustfmt; one that has not said
// hello after this long is not going to help.
constexpr std::chrono::seconds ready_limit{5};

// The formatted text of `source` or the failure message of a collected rustfmt.
Result<std::string> formatted_text(std::string_view source, Result<ChildExit, ChildError> exit) {
  if (!exit) return fail(std::move(exit).error().message);
  // Warnings on standard error of a successful run are dropped.
  if (!exit->success()) return fail(rustfmt_failure_message(exit->err, exit->code, exit->signal));
  // Code never formats to nothing: an empty answer is a broken rustfmt,
  // which must not empty the file.
  if (exit->out.empty() && !only_ascii_whitespace(source)) return fail("rustfmt printed nothing for a non-empty file");
  return lossy_utf8(exit->out);
}

}  // namespace

Result<std::string> run_rustfmt(const Program& rustfmt, std::string_view source, const FileSettings& settings,
                                int cancel_fd) {
  // In the file's folder, as cargo fmt runs it: its configuration, and the
  // toolchain the rustup proxy picks there.
  auto child = RunningChild::start(rustfmt, rustfmt_args(settings), source, settings.folder);
  if (!child) return fail("failed to run rustfmt: " + std::move(child).error().message);
  return formatted_text(source, child->finish(cancel_fd));
}

Rustfmt::Rustfmt(const Environment& environment)
    : fork_server_(environment.fork_server),
      batches_(environment.batches),
      rustfmt_(environment.program("rustfmt")),
      temp_folder_(environment.temp_folder),
      elf_((fork_server_ || batches_) && rustfmt_.is_elf()),
      token_(batches_ ? batch_token() : std::string()),
      toolchains_(environment) {}

Rustfmt::~Rustfmt() = default;

ServerKey Rustfmt::server_key(const FileSettings& settings) {
  // A served batch runs in its scratch folder: the empty configuration is
  // named relative to it.
  auto args = batches() ? batch_args(settings, batch_names(token_), batch_config_name(token_))
                                : rustfmt_args(settings);
  return {std::move(args), toolchains_.choice_for(settings.folder)};
}

Rustfmt::Server* Rustfmt::ready_server_for(const FileSettings& settings) {
  if (!fork_server_ || !elf_) return nullptr;
  auto key = server_key(settings);
  Server* server = nullptr;
  {
    std::lock_guard lock(mutex_);
    auto& entry = servers_[key];
    if (!entry) {
      entry = std::make_unique<Server>();
      Server* fresh = entry.get();
      // Started in the file's folder, so that the rustup proxy picks the
      // toolchain that a plain start there gets.
      fresh->started = server_starter_
                           .run([this, fresh, args = key.args, folder = settings.folder] {
                             auto started = ForkServer::start(rustfmt_, args, rustfmt_library, folder);
                             if (started) fresh->server = std::move(*started);
                           })
                           .share();
    }
    server = entry.get();
  }
  server->started.wait();
  if (!server->server || server->given_up) return nullptr;
  if (server->server->wait_ready(ready_limit)) return server;
  give_up(*server);
  return nullptr;
}

void Rustfmt::give_up(Server& server) {
  if (!server.given_up.exchange(true)) ++dropped_;
}

std::vector<std::optional<std::string>> Rustfmt::run_one_batch(std::span<const std::string_view> texts,
                                                               const FileSettings& settings, int cancel_fd) {
  if (Server* server = ready_server_for(settings)) {
    auto batch = run_batch(rustfmt_, temp_folder_, texts, settings, token_, &*server->server, cancel_fd);
    if (batch.no_folder) {
      note_unusable_folder(batch);
      return std::move(batch.texts);
    }
    if (!batch.server_lost) {
      ++served_;
      ++batch_runs_;
      return std::move(batch.texts);
    }
    // The server is gone or could not fork: this batch and the rest start
    // afresh.
    give_up(*server);
  }
  ++plain_;
  ++batch_runs_;
  auto batch = run_batch(rustfmt_, temp_folder_, texts, settings, token_, nullptr, cancel_fd);
  note_unusable_folder(batch);
  return std::move(batch.texts);
}

void Rustfmt::note_unusable_folder(const BatchResult& batch) {
  if (batch.no_folder) no_scratch_folder_ = true;
}

Result<std::string> Rustfmt::format(std::string_view source, const FileSettings& settings, int cancel_fd) {
  if (batches()) {
    std::string_view text[] = {source};
    if (auto batch = run_one_batch(text, settings, cancel_fd); batch[0]) return std::move(*batch[0]);
    ++batch_misses_;
    // A failure, or a text rustfmt passes over as a file: a plain start
    // gives the answer. When batches turned out impossible, a served one
    // does.
    if (batches()) {
      ++plain_;
      return run_rustfmt(rustfmt_, source, settings, cancel_fd);
    }
  }
  if (Server* server = ready_server_for(settings)) {
    auto run = ServedRun::start(*server->server, source, settings.folder);
    Result<ChildExit, ServedRunError> exit = run ? run->finish(cancel_fd) : fail(std::move(run).error());
    if (exit || !exit.error().server_lost) {
      ++served_;
      return formatted_text(
          source, exit ? Result<ChildExit, ChildError>(std::move(*exit)) : fail(std::move(exit).error().error));
    }
    // The server is gone or could not fork: this run and the rest start
    // afresh.
    give_up(*server);
  }
  ++plain_;
  return run_rustfmt(rustfmt_, source, settings, cancel_fd);
}

std::vector<std::optional<std::string>> Rustfmt::format_together(std::span<const FormatRequest> requests,
                                                                 int cancel_fd) {
  std::vector<std::optional<std::string>> results(requests.size());
  if (!batches()) return results;
  // Texts whose rustfmt runs are alike go together, in batches of at most
  // batch_slots, in the order of their first text.
  std::vector<ServerKey> keys;
  for (const auto& request : requests) keys.push_back(server_key(*request.settings));
  // Texts that can't go in a batch, or would spoil one, are left to format().
  std::vector<bool> taken(requests.size());
  for (std::size_t i = 0; i < requests.size(); ++i) {
    taken[i] = may_be_passed_over(requests[i].text);
  }
  for (std::size_t first = 0; first < requests.size(); ++first) {
    if (taken[first]) continue;
    std::vector<std::size_t> members;
    for (std::size_t i = first; i < requests.size(); ++i) {
      if (!taken[i] && keys[i] == keys[first]) {
        taken[i] = true;
        members.push_back(i);
      }
    }
    for (std::size_t start = 0; start < members.size(); start += batch_slots) {
      std::vector<std::string_view> texts;
      for (std::size_t i = start; i < members.size() && i < start + batch_slots; ++i) {
        texts.push_back(requests[members[i]].text);
      }
      auto batch = run_one_batch(texts, *requests[members[start]].settings, cancel_fd);
      for (std::size_t i = 0; i < texts.size(); ++i) {
        if (!batch[i]) ++batch_misses_;
        results[members[start + i]] = std::move(batch[i]);
      }
    }
  }
  return results;
}

RustfmtCounts Rustfmt::counts() const {
  std::lock_guard lock(mutex_);
  std::uint64_t started = 0;
  for (const auto& [args, server] : servers_) started += server->server ? 1u : 0u;
  return {plain_.load(), served_.load(), started, dropped_.load(), batch_runs_.load(), batch_misses_.load()};
}

}  // namespace tersify::driver
