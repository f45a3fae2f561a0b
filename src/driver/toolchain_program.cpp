#include "driver/toolchain_program.h"

#include <dirent.h>

#include <cctype>

#include "util/fd.h"
#include "util/file_stamp.h"
#include "util/fs.h"
#include "util/paths.h"
#include "util/program_path.h"

namespace tersify::driver {

bool is_rustup_proxy(const std::string& path) {
  auto real = canonical_path(path);
  if (!real) return false;
  auto name = file_name(*real);
  if (name == "rustup" || name == "rustup-init") return true;
  // Proxies hard-linked to rustup in its folder.
  auto folder = parent_path(*real);
  if (!folder) return false;
  auto proxy = file_identity(*real);
  return proxy && proxy == file_identity(join_path(*folder, "rustup"));
}

std::optional<std::string> toolchain_folder(const std::string& rustup_home, const std::string& toolchain) {
  if (toolchain.empty() || toolchain == "." || toolchain == "..") return std::nullopt;
  if (toolchain.find('/') != std::string::npos) {
    if (file_kind(toolchain) == FileKind::directory) return toolchain;
    return std::nullopt;
  }
  if (rustup_home.empty()) return std::nullopt;
  std::string toolchains = join_path(rustup_home, "toolchains");
  std::string exact = join_path(toolchains, toolchain);
  if (file_kind(exact) == FileKind::directory) return exact;
  // A triple starts with a letter; a date after a channel's name does not.
  std::string prefix = toolchain + "-";
  DirHandle dir(::opendir(toolchains.c_str()));
  if (!dir) return std::nullopt;
  std::optional<std::string> found;
  while (const dirent* entry = ::readdir(dir.get())) {
    std::string_view name(entry->d_name);
    if (!name.starts_with(prefix) || name.size() == prefix.size() ||
        !std::isalpha(static_cast<unsigned char>(name[prefix.size()]))) {
      continue;
    }
    if (found) return std::nullopt;  // toolchains for several hosts: the proxy's host is unknown here
    found = join_path(toolchains, name);
  }
  return found;
}

ToolchainPrograms::ToolchainPrograms(const Environment& environment)
    : search_path_(environment.search_path), choices_(environment) {}

std::optional<std::string> ToolchainPrograms::identity(const std::string& program, const std::string& folder) {
  std::string key = program + "\n" + choices_.choice_for(folder);
  std::lock_guard lock(mutex_);
  if (auto known = known_.find(key); known != known_.end()) return known->second;
  return known_.emplace(key, find_identity(program, folder)).first->second;
}

std::optional<std::string> ToolchainPrograms::find_identity(const std::string& program, const std::string& folder) {
  Program named{program, search_path_};
  auto on_path = named.find();
  if (!on_path || !named.is_elf()) return std::nullopt;
  if (!is_rustup_proxy(*on_path)) return file_stamp(*on_path);
  auto toolchain = choices_.toolchain_for(folder);
  if (!toolchain) return std::nullopt;
  auto installed = toolchain_folder(choices_.rustup_home(), *toolchain);
  if (!installed) return std::nullopt;
  std::string file = join_path(join_path(*installed, "bin"), program);
  if (file_kind(file) != FileKind::regular) return std::nullopt;
  auto stamp = file_stamp(file);
  auto proxy = file_stamp(*on_path);
  if (!stamp || !proxy) return std::nullopt;
  return "proxy " + *proxy + " toolchain " + *stamp;
}

}  // namespace tersify::driver
