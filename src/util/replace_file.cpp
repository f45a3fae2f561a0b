#include "util/replace_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <utility>

#include "util/fd.h"
#include "util/file_place.h"
#include "util/in_place_write.h"
#include "util/io_error.h"
#include "util/random_token.h"
#include "util/stale_names.h"
#include "util/temp_file_registry.h"

namespace tersify {
namespace {

// Whether a nameless file can be given a name later: that goes through
// /proc/self/fd, which may be missing (a chroot, a container).
bool proc_fd_available() {
  static const bool available = ::access("/proc/self/fd", X_OK) == 0;
  return available;
}

// A SIGKILL in the moment between naming a temporary file and renaming it
// leaves it behind: the next replacement of the same file removes every
// "{prefix}{pid}-{token}" whose process is gone.
void remove_stale(int folder, const std::string& prefix) {
  Fd listing(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DirHandle dir(listing.valid() ? ::fdopendir(listing.get()) : nullptr);
  if (!dir) return;
  (void)listing.release();  // the listing owns it now
  while (const dirent* entry = ::readdir(dir.get())) {
    if (left_by_dead_process(entry->d_name, prefix)) (void)::unlinkat(folder, entry->d_name, 0);
  }
}

// A temporary file being written beside its target, in the target's open
// folder. Where the file system allows, it has no name while it is written
// (O_TMPFILE), so that even a SIGKILL leaves nothing behind; it gets a name
// only for the rename into place. A file with a name is noted for the signal
// handler (util/temp_file_registry.h) before the name exists, and is removed
// when the owner goes without having renamed it.
class TempFile {
 public:
  explicit TempFile(const FilePlace& place) : folder_(place.folder.get()) {
    // Hidden, and without the ".rs" ending, so no search takes it for a
    // source file.
    std::string stem(1, '.');
    stem.append(place.name, 0, 200).append(".tersify-");
    remove_stale(folder_, stem);
    stem_ = stem + std::to_string(::getpid()) + "-";
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    fd_.reset();
    if (!name_.empty()) (void)::unlinkat(folder_, name_.c_str(), 0);
    forget_temp_file(slot_);
  }

  // Creates the file. Gives 0 or the error number.
  int create() {
    if (proc_fd_available()) {
      fd_.reset(::openat(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
      if (fd_.valid()) return 0;
      // Refusals that a named file would meet as well.
      if (errno == EACCES || errno == EPERM || errno == EROFS || errno == ENOSPC || errno == EDQUOT) return errno;
    }
    return give_name([this](const char* name) {
      fd_.reset(::openat(folder_, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
      return fd_.valid() ? 0 : errno;
    });
  }

  int fd() const { return fd_.get(); }

  // Gives the file a name if it has none yet. Gives 0 or the error number.
  int name_it() {
    if (!name_.empty()) return 0;
    std::string open_file = "/proc/self/fd/" + std::to_string(fd_.get());
    return give_name([&](const char* name) {
      return ::linkat(AT_FDCWD, open_file.c_str(), folder_, name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
    });
  }

  // Renames the named file over `target` in the folder and closes it. Gives
  // 0 or the error number.
  int rename_over(const std::string& target) {
    if (::renameat(folder_, name_.c_str(), folder_, target.c_str()) != 0) return errno;
    name_.clear();
    if (::close(fd_.release()) != 0) return errno;
    return 0;
  }

 private:
  // Tries fresh random names with `make` (which gives 0 or the error
  // number) until one is free.
  template <class Make>
  int give_name(Make&& make) {
    for (int attempt = 0; attempt < 8; ++attempt) {
      std::string name = stem_ + random_token();
      int slot = note_temp_file(folder_, name);
      if (slot < 0) return ENAMETOOLONG;
      int e = make(name.c_str());
      if (e == 0) {
        name_ = std::move(name);
        slot_ = slot;
        return 0;
      }
      forget_temp_file(slot);
      if (e != EEXIST) return e;
    }
    return EEXIST;
  }

  int folder_;
  std::string stem_;
  Fd fd_;
  std::string name_;  // empty while the file has no name
  int slot_ = -1;
};

// The file as a replacement expects to find it.
struct Expected {
  FileIdentity identity;
  std::string_view contents;
};

bool same_file(const struct stat& st, const FileIdentity& identity) {
  return st.st_dev == identity.device && st.st_ino == identity.inode;
}

Unexpected<ReplaceError> failure(std::string message) { return fail(ReplaceError{std::move(message), false}); }
Unexpected<ReplaceError> changed() { return fail(ReplaceError{"changed since it was read", true}); }

Result<void, ReplaceError> replace_at(const FilePlace& place, std::string_view contents, const Expected* expected) {
  const int folder = place.folder.get();
  const char* name = place.name.c_str();
  // Opened for writing first: a file the process may not write is refused
  // here, as rustfmt refuses it, whatever a rename in its folder could do.
  Fd file(::openat(folder, name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  std::optional<struct stat> existing;
  std::string old;
  if (!file.valid()) {
    int e = errno;
    if (expected && (e == ENOENT || e == ELOOP)) return changed();
    if (e == ELOOP || e == EISDIR) return failure("not a regular file");
    if (e != ENOENT) return failure(io_error_text(e));
  } else {
    struct stat st;
    if (::fstat(file.get(), &st) != 0) return failure(io_error_text(errno));
    if (!S_ISREG(st.st_mode)) return expected ? changed() : failure("not a regular file");
    if (expected && !same_file(st, expected->identity)) return changed();
    existing = st;
    auto text = read_all(file.get());
    if (!text) return failure(std::move(text).error());
    old = std::move(*text);
    if (expected && old != expected->contents) return changed();
  }

  bool in_place = existing && existing->st_nlink > 1;
  if (!in_place) {
    TempFile temp(place);
    int e = temp.create();
    // A folder we may not write: the file itself may still be writable.
    in_place = existing && (e == EACCES || e == EPERM);
    if (e != 0 && !in_place) return failure(io_error_text(e));
    // A file of the owner and group it had, or none: where the process may
    // not give it those, the file is written in place instead.
    if (e == 0 && existing && ::fchown(temp.fd(), existing->st_uid, existing->st_gid) != 0) in_place = true;
    if (!in_place) {
      if (existing && ::fchmod(temp.fd(), existing->st_mode & 07777) != 0) return failure(io_error_text(errno));
      if (auto written = write_all(temp.fd(), contents); !written) return failure(written.error());
      if (int named = temp.name_it(); named != 0) return failure(io_error_text(named));
      if (expected) {
        struct stat now;
        if (::fstatat(folder, name, &now, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(now.st_mode) ||
            !same_file(now, expected->identity)) {
          return changed();
        }
      }
      if (int renamed = temp.rename_over(place.name); renamed != 0) return failure(io_error_text(renamed));
      return {};
    }
  }
  if (auto done = write_in_place(folder, place.name, file.get(), *existing, old, contents); !done) {
    return failure(std::move(done).error());
  }
  return {};
}

// Writing through a dangling link creates the file it names.
Status create_through_link(const std::string& path, std::string_view contents) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
  if (!fd.valid()) return fail(io_error_text(errno));
  if (auto written = write_all(fd.get(), contents); !written) {
    (void)::ftruncate(fd.get(), 0);
    return written;
  }
  if (::close(fd.release()) != 0) return fail(io_error_text(errno));
  return {};
}

}  // namespace

Status replace_file(const std::string& path, std::string_view contents) {
  if (path.find('\0') != std::string::npos) return fail(io_error_text(EINVAL));
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::access(path.c_str(), F_OK) != 0 &&
      errno == ENOENT) {
    return create_through_link(path, contents);
  }
  auto place = find_file_place(path);
  if (!place) return fail(std::move(place).error());
  auto done = replace_at(*place, contents, nullptr);
  if (!done) return fail(std::move(done).error().message);
  return {};
}

Result<void, ReplaceError> replace_read_file(const std::string& path, std::string_view contents,
                                             const FileIdentity& identity, std::string_view old,
                                             std::span<const std::string> roots) {
  auto place = find_file_place(path, roots);
  if (!place) return failure(std::move(place).error());
  Expected expected{identity, old};
  return replace_at(*place, contents, &expected);
}

}  // namespace tersify
