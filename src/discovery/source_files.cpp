#include "discovery/source_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "util/fd.h"
#include "util/fs.h"
#include "util/paths.h"
#include "util/text.h"

namespace tersify::discovery {
namespace {

using DirId = std::pair<dev_t, ino_t>;

bool has_rs_extension(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  return name.substr(dot + 1) == "rs";
}

bool is_skipped_directory_name(std::string_view name) {
  if (!is_valid_utf8(name)) return false;
  return name == "target" || (name.size() >= 2 && name.front() == '.');
}

// `branch` holds the directories open from the path argument down to here.
void walk(const std::string& path, std::vector<std::string>& list, std::vector<DirId>& branch) {
  auto name = file_name(path);
  if (file_kind(path) == FileKind::regular) {
    if (name && has_rs_extension(*name)) list.push_back(path);
    return;
  }
  if (name && is_skipped_directory_name(*name)) return;
  if (path.find('\0') != std::string::npos) return;

  DirHandle dir(::opendir(path.c_str()));
  if (!dir) return;
  struct stat st;
  if (::fstat(::dirfd(dir.get()), &st) == 0) {
    DirId id{st.st_dev, st.st_ino};
    if (std::find(branch.begin(), branch.end(), id) != branch.end()) return;
    branch.push_back(id);
  } else {
    branch.push_back({0, 0});
  }
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) break;  // the end, or a read error: stop silently
    std::string_view entry_name(entry->d_name);
    if (entry_name == "." || entry_name == "..") continue;
    walk(join_path(path, entry_name), list, branch);
  }
  branch.pop_back();
}

}  // namespace

void rs_files(const std::string& path, std::vector<std::string>& list) {
  std::vector<DirId> branch;
  walk(path, list, branch);
}

std::vector<std::string> collect_source_files(const std::vector<std::string>& path_arguments) {
  std::vector<std::string> list;
  for (const auto& argument : path_arguments) rs_files(argument, list);
  std::stable_sort(list.begin(), list.end(), [](const std::string& a, const std::string& b) { return path_less(a, b); });
  return list;
}

}  // namespace tersify::discovery
