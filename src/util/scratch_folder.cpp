#include "util/scratch_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <set>
#include <utility>

#include "util/fd.h"
#include "util/fs.h"
#include "util/io_error.h"
#include "util/paths.h"
#include "util/stale_names.h"
#include "util/temp_file_registry.h"

namespace tersify {
namespace {

// Empties and removes the folder `name` in `parent`; links inside are removed,
// never followed.
void remove_folder_at(int parent, const char* name) {
  Fd folder(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.valid()) {
    int copy = ::dup(folder.get());
    if (copy >= 0) {
      if (DIR* listing = ::fdopendir(copy)) {
        DirHandle dir(listing);
        while (const dirent* entry = ::readdir(dir.get())) {
          std::string_view entry_name(entry->d_name);
          if (entry_name != "." && entry_name != "..") (void)::unlinkat(folder.get(), entry->d_name, 0);
        }
      } else {
        ::close(copy);
      }
    }
  }
  (void)::unlinkat(parent, name, AT_REMOVEDIR);
}

// Removes the folders "{prefix}{pid}-*" of ours whose process is gone.
void remove_stale(const std::string& root, std::string_view prefix) {
  DirHandle dir(::opendir(root.c_str()));
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (!left_by_dead_process(entry->d_name, prefix)) continue;
    struct stat info {};
    if (::fstatat(::dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) continue;
    remove_folder_at(::dirfd(dir.get()), entry->d_name);
  }
}

}  // namespace

Result<ScratchFolder> ScratchFolder::create(const std::string& root, std::string_view prefix) {
  // Once per place and process: a run creates many, and the root may be
  // large.
  static std::mutex mutex;
  static std::set<std::string> swept;
  {
    std::lock_guard lock(mutex);
    if (swept.insert(root + "/" + std::string(prefix)).second) remove_stale(root, prefix);
  }
  std::string path = join_path(root, std::string(prefix) + std::to_string(::getpid()) + "-XXXXXX");
  if (::mkdtemp(path.data()) == nullptr) return fail(io_error_text(errno));
  ScratchFolder folder(std::move(path));
  folder.slot_ = note_temp_folder(folder.path_);
  // Canonical, as a child that is given a name relative to it sees it.
  auto canonical = canonical_path(folder.path_);
  if (!canonical) return fail(std::move(canonical).error());
  folder.path_ = std::move(*canonical);
  return folder;
}

ScratchFolder::ScratchFolder(ScratchFolder&& other) noexcept
    : path_(std::exchange(other.path_, {})), slot_(std::exchange(other.slot_, -1)), names_(std::move(other.names_)) {}

ScratchFolder::~ScratchFolder() {
  if (path_.empty()) return;
  for (const auto& name : names_) (void)::unlink(join_path(path_, name).c_str());
  (void)::rmdir(path_.c_str());
  forget_temp_folder(slot_);
}

Status ScratchFolder::write(const std::string& name, std::string_view contents) {
  names_.push_back(name);
  return write_file(join_path(path_, name), contents);
}

}  // namespace tersify
