#include "driver/batched_rustfmt.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tersify::driver {

BatchedRustfmt::BatchedRustfmt(BatchSetup setup, ToolchainChoices& toolchains, RustfmtServers* servers, Formatter& next,
                               RustfmtCounts& counts)
    : setup_(std::move(setup)), toolchains_(toolchains), servers_(servers), next_(next), counts_(counts) {}

std::vector<std::string> BatchedRustfmt::server_args(const FileSettings& settings) const {
  return batch_args(settings, batch_names(setup_.token), batch_config_name(setup_.token));
}

void BatchedRustfmt::alone(const FormatRequest& request, std::size_t index, const Cancellation* cancel,
                           const FormatDone& done) {
  next_.format({&request, 1}, cancel, [&](std::size_t, Result<std::string> result) { done(index, std::move(result)); });
}

void BatchedRustfmt::format(std::span<const FormatRequest> requests, const Cancellation* cancel,
                            const FormatDone& done) {
  // Texts whose rustfmt runs are alike (the same arguments and toolchain
  // choice) go together, in the order of their first text; one that could
  // spoil its batch goes alone.
  struct Key {
    std::vector<std::string> args;
    std::string toolchain;
    bool operator==(const Key&) const = default;
  };
  std::vector<Key> keys;
  for (const auto& request : requests) {
    keys.push_back({server_args(*request.settings), toolchains_.choice_for(request.settings->folder)});
  }
  std::vector<bool> taken(requests.size());
  for (std::size_t first = 0; first < requests.size(); ++first) {
    if (taken[first]) continue;
    if (no_scratch_folder_ || may_be_passed_over(requests[first].text)) {
      taken[first] = true;
      alone(requests[first], first, cancel, done);
      continue;
    }
    std::vector<std::size_t> members;
    for (std::size_t i = first; i < requests.size() && members.size() < batch_slots; ++i) {
      if (!taken[i] && keys[i] == keys[first] && !may_be_passed_over(requests[i].text)) {
        taken[i] = true;
        members.push_back(i);
      }
    }
    run_one(requests, members, cancel, done);
  }
}

void BatchedRustfmt::run_one(std::span<const FormatRequest> requests, std::span<const std::size_t> members,
                             const Cancellation* cancel, const FormatDone& done) {
  const FileSettings& settings = *requests[members.front()].settings;
  std::vector<std::string_view> texts;
  for (std::size_t i : members) texts.push_back(requests[i].text);
  int cancel_fd = cancel != nullptr ? cancel->fd() : -1;

  std::optional<BatchResult> batch;
  if (servers_ != nullptr) {
    if (auto* server = servers_->ready_server(server_args(settings), settings.folder)) {
      batch = run_batch(setup_, texts, settings, &server->get(), cancel_fd);
      if (batch->server_lost) {
        // The server is gone or could not fork: this batch and the rest go
        // on without it.
        servers_->give_up(*server);
        batch.reset();
      } else if (!batch->no_folder) {
        ++counts_.served;
        ++counts_.batches;
      }
    }
  }
  if (!batch) {
    batch = run_batch(setup_, texts, settings, nullptr, cancel_fd);
    if (!batch->no_folder) {
      ++counts_.plain;
      ++counts_.batches;
    }
  }
  if (batch->no_folder) no_scratch_folder_ = true;

  for (std::size_t k = 0; k < members.size(); ++k) {
    if (batch->texts[k]) {
      done(members[k], std::move(*batch->texts[k]));
      continue;
    }
    ++counts_.batch_misses;
    if (cancel != nullptr && cancel->requested()) {
      done(members[k], fail("cancelled"));
    } else {
      alone(requests[members[k]], members[k], cancel, done);
    }
  }
}

}  // namespace tersify::driver
