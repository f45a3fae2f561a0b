#include "util/replace_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <optional>
#include <utility>

#include "util/child_registry.h"
#include "util/fd.h"
#include "util/fs.h"
#include "util/io_error.h"
#include "util/paths.h"
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

void remove_stale(const std::string& folder, const std::string& prefix);

// A temporary file being written beside its target. Where the file system
// allows, it has no name while it is written (O_TMPFILE), so that even a
// SIGKILL leaves nothing behind; it gets a name only for the rename into
// place. A file with a name is noted for the signal handler
// (util/temp_file_registry.h) before the name exists, and is removed when
// the owner goes without having renamed it.
class TempFile {
 public:
  explicit TempFile(const std::string& target) : folder_(parent_path(target).value_or(std::string())) {
    // Hidden, and without the ".rs" ending, so no search takes it for a
    // source file. A bare name lies in the working directory, which ""
    // joins as.
    std::string stem(1, '.');
    stem.append(file_name(target).value_or("file").substr(0, 200)).append(".tersify-");
    remove_stale(folder_, stem);
    stem_ = std::move(stem);
    stem_.append(std::to_string(::getpid())).push_back('-');
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    fd_.reset();
    if (!path_.empty()) ::unlink(path_.c_str());
    forget_temp_file(slot_);
  }

  // Creates the file. Gives 0 or the error number.
  int create() {
    if (proc_fd_available()) {
      fd_.reset(::open(folder_.empty() ? "." : folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
      if (fd_.valid()) return 0;
      // Refusals that a named file would meet as well.
      if (errno == EACCES || errno == EPERM || errno == EROFS || errno == ENOSPC || errno == EDQUOT) return errno;
    }
    return give_name([this](const char* path) {
      fd_.reset(::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      return fd_.valid() ? 0 : errno;
    });
  }

  int fd() const { return fd_.get(); }

  // Names the file if it has no name yet, closes it and renames it over
  // `target`. Gives 0 or the error number.
  int rename_over(const std::string& target) {
    if (path_.empty()) {
      std::string open_file = "/proc/self/fd/" + std::to_string(fd_.get());
      int named = give_name([&](const char* path) {
        return ::linkat(AT_FDCWD, open_file.c_str(), AT_FDCWD, path, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
      });
      if (named != 0) return named;
    }
    // Renamed at once: a name of its own is what a SIGKILL could leave.
    if (::rename(path_.c_str(), target.c_str()) != 0) return errno;
    path_.clear();
    if (::close(fd_.release()) != 0) return errno;
    return 0;
  }

 private:
  // Tries fresh names with `make` (which gives 0 or the error number) until
  // one is free.
  template <class Make>
  int give_name(Make&& make) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string path = join_path(folder_, stem_ + std::to_string(counter.fetch_add(1)));
      int slot = note_temp_file(path);
      if (slot < 0) return ENAMETOOLONG;
      int e = make(path.c_str());
      if (e == 0) {
        path_ = std::move(path);
        slot_ = slot;
        return 0;
      }
      forget_temp_file(slot);
      if (e != EEXIST) return e;
    }
    return EEXIST;
  }

  std::string folder_;
  std::string stem_;
  Fd fd_;
  std::string path_;  // empty while the file has no name
  int slot_ = -1;
};

// A SIGKILL in the moment between naming a temporary file and renaming it
// leaves it behind: the next replacement of the same file removes every
// "{prefix}{pid}-{n}" whose process is gone.
void remove_stale(const std::string& folder, const std::string& prefix) {
  DirHandle dir(::opendir(folder.empty() ? "." : folder.c_str()));
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (left_by_dead_process(entry->d_name, prefix)) (void)::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
  }
}

// Writes `data` at `offset` on. Gives the bytes written and the error number
// of a write that failed (0 when all went).
std::pair<std::size_t, int> write_at(int fd, std::string_view data, off_t offset) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::pwrite(fd, data.data() + done, data.size() - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return {done, n < 0 ? errno : ENOSPC};
    done += static_cast<std::size_t>(n);
  }
  return {done, 0};
}

// The in-place write never truncates first: the new text goes over the old
// one, and only once all of it is written is the file cut to its length.
// When a write fails part-way, only the bytes written so far are put back,
// which always fits where they came from (no new space, no offset past a
// size limit that the new text did not pass either).
Status write_in_place(const std::string& path, std::string_view contents) {
  TerminationHold hold;
  Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (!fd.valid()) return fail(io_error_text(errno));
  auto old = read_all(fd.get());
  if (!old) return fail(std::move(old).error());

  auto [written, error] = write_at(fd.get(), contents, 0);
  if (error == 0 && ::ftruncate(fd.get(), static_cast<off_t>(contents.size())) == 0) return {};
  if (error == 0) error = errno;
  (void)write_at(fd.get(), std::string_view(*old).substr(0, std::min(written, old->size())), 0);
  (void)::ftruncate(fd.get(), static_cast<off_t>(old->size()));
  return fail(io_error_text(error));
}

}  // namespace

Status replace_file(const std::string& path, std::string_view contents) {
  if (path.find('\0') != std::string::npos) return fail(io_error_text(EINVAL));
  std::string target = path;
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    auto resolved = canonical_path(path);
    // A dangling link: writing through it creates the file it names.
    if (!resolved) return write_in_place(path, contents);
    target = std::move(*resolved);
  }
  std::optional<struct stat> existing;
  if (::stat(target.c_str(), &st) == 0) {
    existing = st;
  } else if (errno != ENOENT) {
    return fail(io_error_text(errno));
  }
  // Reading the old text of a FIFO or a device could block or never end.
  if (existing && !S_ISREG(existing->st_mode)) return fail("not a regular file");
  if (existing && existing->st_nlink > 1) return write_in_place(path, contents);

  TempFile file(target);
  if (int e = file.create(); e != 0) {
    // A folder we may not write: the file itself may still be writable.
    if (e == EACCES || e == EPERM) return write_in_place(path, contents);
    return fail(io_error_text(e));
  }
  if (existing) {
    // Only a privileged process may give a file away; the group may still
    // be one of ours. Neither failure stops the replacement.
    if (::fchown(file.fd(), existing->st_uid, existing->st_gid) != 0) {
      (void)::fchown(file.fd(), static_cast<uid_t>(-1), existing->st_gid);
    }
    if (::fchmod(file.fd(), existing->st_mode & 07777) != 0) return fail(io_error_text(errno));
  }
  if (auto written = write_all(file.fd(), contents); !written) return written;
  if (int e = file.rename_over(target); e != 0) return fail(io_error_text(e));
  return {};
}

}  // namespace tersify
