#include "driver/backlog.h"

#include <algorithm>
#include <utility>

#include "util/fatal.h"
#include "util/paths.h"

namespace tersify::driver {

bool Backlog::holds(const std::optional<FileIdentity>& identity) const {
  if (!identity) return false;
  return std::any_of(files_.begin(), files_.end(), [&](const Waiting& waiting) { return waiting.identity == identity; });
}

void Backlog::push(FormattedFile file, std::optional<FileIdentity> identity) {
  files_.push_back({CompactingFile(std::move(file)), identity});
  held_bytes_ += files_.back().file.held_bytes();
}

Status Backlog::step_front() {
  if (files_.empty()) return {};
  if (!files_.front().file.step()) return {};
  return complete_front();
}

Status Backlog::complete_front() {
  if (files_.empty()) internal_error("an empty backlog was asked to complete a file");
  // The file leaves the backlog whatever the outcome: a failure ends the run.
  Waiting front = std::move(files_.front());
  files_.pop_front();
  held_bytes_ -= front.file.held_bytes();
  if (auto done = front.file.complete(check_, reformat_list_); !done) {
    return fail(display_path(front.file.listed_path()) + ": " + done.error());
  }
  return {};
}

Status Backlog::complete_all() {
  while (!files_.empty()) {
    if (auto done = complete_front(); !done) return done;
  }
  return {};
}

}  // namespace tersify::driver
