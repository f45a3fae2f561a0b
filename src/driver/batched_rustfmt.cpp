#include "driver/batched_rustfmt.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tersify::driver {
namespace {

// The batches of `members` in order, each within batch_limits.
std::vector<std::vector<std::size_t>> within_limits(std::span<const FormatRequest> requests,
                                                    const std::vector<std::size_t>& members) {
  std::vector<std::vector<std::size_t>> batches;
  std::size_t bytes = 0;
  for (std::size_t i : members) {
    std::size_t size = requests[i].text.size();
    if (batches.empty() || batches.back().size() == batch_limits.texts ||
        (!batches.back().empty() && bytes + size > batch_limits.bytes)) {
      batches.emplace_back();
      bytes = 0;
    }
    batches.back().push_back(i);
    bytes += size;
  }
  return batches;
}

}  // namespace

BatchedRustfmt::BatchedRustfmt(BatchSetup setup, ToolchainChoices& toolchains, RustfmtServers* servers, Formatter& next,
                               RustfmtCounts& counts)
    : setup_(std::move(setup)), toolchains_(toolchains), servers_(servers), next_(next), counts_(counts) {}

void BatchedRustfmt::alone(const FormatRequest& request, std::size_t index, const Cancellation* cancel,
                           const FormatDone& done) {
  next_.format({&request, 1}, cancel, [&](std::size_t, Result<std::string> result) { done(index, std::move(result)); });
}

void BatchedRustfmt::format(std::span<const FormatRequest> requests, const Cancellation* cancel,
                            const FormatDone& done) {
  // Texts whose rustfmt runs are alike (the same arguments and toolchain
  // choice) go together, in the order of their first text; one that could
  // spoil its batch goes alone.
  struct Kind {
    std::vector<std::string> args;
    std::string toolchain;
    std::vector<std::size_t> members;
  };
  std::vector<Kind> kinds;
  std::vector<std::size_t> lone;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    if (no_scratch_folder_ || may_be_passed_over(requests[i].text)) {
      lone.push_back(i);
      continue;
    }
    const FileSettings& settings = *requests[i].settings;
    auto args = batch_args(settings, {}, {});
    auto toolchain = toolchains_.choice_for(settings.folder);
    auto kind = std::find_if(kinds.begin(), kinds.end(),
                             [&](const Kind& k) { return k.args == args && k.toolchain == toolchain; });
    if (kind == kinds.end()) kind = kinds.insert(kinds.end(), Kind{std::move(args), std::move(toolchain), {}});
    kind->members.push_back(i);
  }
  for (std::size_t i : lone) alone(requests[i], i, cancel, done);

  // Batches still to run, the next one last.
  std::vector<std::vector<std::size_t>> pending;
  for (auto kind = kinds.rbegin(); kind != kinds.rend(); ++kind) {
    auto batches = within_limits(requests, kind->members);
    pending.insert(pending.end(), std::make_move_iterator(batches.rbegin()), std::make_move_iterator(batches.rend()));
  }
  while (!pending.empty()) {
    std::vector<std::size_t> members = std::move(pending.back());
    pending.pop_back();
    if (cancel != nullptr && cancel->requested()) {
      for (std::size_t i : members) done(i, fail("cancelled"));
      continue;
    }
    if (no_scratch_folder_ || members.size() == 1) {
      for (std::size_t i : members) alone(requests[i], i, cancel, done);
      continue;
    }
    Unanswered left = run_one(requests, members, cancel, done);
    if (left.texts.empty()) continue;
    if (cancel != nullptr && cancel->requested()) {
      for (std::size_t i : left.texts) done(i, fail("cancelled"));
      continue;
    }
    if (!left.whole || no_scratch_folder_) {
      // Only these texts came out empty, which a single run explains; or
      // there is no place for batch files.
      for (std::size_t i : left.texts) alone(requests[i], i, cancel, done);
      continue;
    }
    // The texts rustfmt named first, on their own; then the others as a
    // batch again. Without names, each half as a batch.
    std::vector<std::size_t> rest;
    for (std::size_t i : left.texts) {
      if (std::find(left.named.begin(), left.named.end(), i) == left.named.end()) rest.push_back(i);
    }
    if (!left.named.empty()) {
      if (!rest.empty()) pending.push_back(std::move(rest));
      for (auto i = left.named.rbegin(); i != left.named.rend(); ++i) pending.push_back({*i});
      continue;
    }
    auto half = left.texts.begin() + static_cast<std::ptrdiff_t>(left.texts.size() / 2);
    pending.emplace_back(half, left.texts.end());
    pending.emplace_back(left.texts.begin(), half);
  }
}

BatchedRustfmt::Unanswered BatchedRustfmt::run_one(std::span<const FormatRequest> requests,
                                                   const std::vector<std::size_t>& members, const Cancellation* cancel,
                                                   const FormatDone& done) {
  const FileSettings& settings = *requests[members.front()].settings;
  std::vector<std::string_view> texts;
  for (std::size_t i : members) texts.push_back(requests[i].text);
  int cancel_fd = cancel != nullptr ? cancel->fd() : -1;

  std::optional<BatchResult> batch;
  if (servers_ != nullptr) {
    if (auto* server = servers_->ready_server(settings.folder)) {
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

  Unanswered left;
  for (std::size_t k = 0; k < members.size(); ++k) {
    if (batch->texts[k]) {
      done(members[k], std::move(*batch->texts[k]));
      continue;
    }
    ++counts_.batch_misses;
    left.texts.push_back(members[k]);
  }
  left.whole = left.texts.size() == members.size();
  for (std::size_t k : batch->named) left.named.push_back(members[k]);
  return left;
}

}  // namespace tersify::driver
