#include "driver/rustfmt_identity.h"

#include "util/file_stamp.h"
#include "util/process.h"
#include "util/program_path.h"

namespace tersify::driver {
namespace {

// What `rustfmt --version` says in `folder`: through a proxy of any kind,
// the version of the toolchain chosen there.
std::optional<std::string> rustfmt_version_in(const std::string& folder) {
  auto child = RunningChild::start("rustfmt", {"--version"}, std::nullopt, folder);
  if (!child) return std::nullopt;
  auto version = child->finish();
  if (!version || !version->success()) return std::nullopt;
  return std::move(version->out);
}

}  // namespace

RustfmtIdentity::RustfmtIdentity(const RustupEnvironment& environment) : programs_(environment) {}

std::optional<std::string> RustfmtIdentity::for_folder(const std::string& folder) {
  std::string where = folder.empty() ? std::string(".") : folder;
  if (auto known = programs_.identity("rustfmt", where)) return known;
  std::string choice = programs_.choices().choice_for(where);
  std::lock_guard lock(mutex_);
  auto known = versions_.find(choice);
  if (known == versions_.end()) {
    std::optional<std::string> identity;
    auto on_path = find_program_on_path("rustfmt");
    auto stamp = on_path ? file_stamp(*on_path) : std::nullopt;
    if (auto version = stamp ? rustfmt_version_in(folder) : std::nullopt) identity = "run " + *stamp + " " + *version;
    known = versions_.emplace(choice, std::move(identity)).first;
  }
  return known->second;
}

}  // namespace tersify::driver
