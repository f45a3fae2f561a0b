#include "driver/rustfmt_identity.h"

#include <sys/stat.h>

#include <utility>

#include "util/digest.h"
#include "util/running_child.h"

namespace tersify::driver {

std::optional<std::string> file_stamp(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return path + " " + std::to_string(info.st_size) + " " + std::to_string(info.st_mtim.tv_sec) + "." +
         std::to_string(info.st_mtim.tv_nsec);
}

RustfmtIdentity::RustfmtIdentity(const Environment& environment)
    : rustfmt_(environment.program("rustfmt")),
      rustup_toolchain_(environment.rustup_toolchain),
      toolchains_(environment) {}

std::optional<std::string> RustfmtIdentity::program_key() const {
  auto file = rustfmt_.find();
  if (!file) return std::nullopt;
  auto stamp = file_stamp(*file);
  if (!stamp) return std::nullopt;
  std::string key;
  append_key_part(key, *stamp);
  append_key_part(key, rustup_toolchain_ ? "=" + *rustup_toolchain_ : std::string("unset"));
  return key;
}

std::optional<std::string> RustfmtIdentity::version_in(const std::string& folder) {
  std::string choice = toolchains_.choice_for(folder.empty() ? "." : folder);
  std::lock_guard lock(mutex_);
  auto known = versions_.find(choice);
  if (known != versions_.end()) return known->second;
  std::optional<std::string> version;
  auto child = RunningChild::start(rustfmt_, {"--version"}, std::nullopt, folder);
  if (child) {
    auto done = child->finish();
    if (done && done->success()) version = std::move(done->out);
  }
  return versions_.emplace(choice, std::move(version)).first->second;
}

}  // namespace tersify::driver
