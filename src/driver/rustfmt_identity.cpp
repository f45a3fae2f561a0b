#include "driver/rustfmt_identity.h"

#include <utility>

#include "util/file_stamp.h"
#include "util/running_child.h"

namespace tersify::driver {
namespace {

// What `rustfmt --version` says in `folder`: through a proxy of any kind,
// the version of the toolchain chosen there.
std::optional<std::string> version_in(const Program& rustfmt, const std::string& folder) {
  auto child = RunningChild::start(rustfmt, {"--version"}, std::nullopt, folder);
  if (!child) return std::nullopt;
  auto done = child->finish();
  if (!done || !done->success()) return std::nullopt;
  return std::move(done->out);
}

}  // namespace

RustfmtIdentity::RustfmtIdentity(const Environment& environment)
    : rustfmt_(environment.program("rustfmt")), programs_(environment) {}

std::optional<std::string> RustfmtIdentity::for_folder(const std::string& folder) {
  {
    std::lock_guard lock(mutex_);
    if (auto known = by_folder_.find(folder); known != by_folder_.end()) return known->second;
  }
  auto identity = look_up(folder);
  std::lock_guard lock(mutex_);
  return by_folder_.try_emplace(folder, std::move(identity)).first->second;
}

std::optional<std::string> RustfmtIdentity::look_up(const std::string& folder) {
  std::string where = folder.empty() ? std::string(".") : folder;
  if (auto known = programs_.identity("rustfmt", where)) return known;
  std::string choice = programs_.choices().choice_for(where);
  std::lock_guard lock(mutex_);
  auto known = versions_.find(choice);
  if (known == versions_.end()) {
    std::optional<std::string> identity;
    auto file = rustfmt_.find();
    auto stamp = file ? file_stamp(*file) : std::nullopt;
    if (auto version = stamp ? version_in(rustfmt_, folder) : std::nullopt) identity = "run " + *stamp + " " + *version;
    known = versions_.emplace(choice, std::move(identity)).first;
  }
  return known->second;
}

}  // namespace tersify::driver
