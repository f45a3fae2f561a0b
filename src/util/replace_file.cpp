#include "util/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <optional>
#include <utility>

#include "util/child_registry.h"
#include "util/fd.h"
#include "util/fs.h"
#include "util/io_error.h"
#include "util/paths.h"
#include "util/temp_file_registry.h"

namespace tersify {
namespace {

// A temporary file being written: removed when it goes without having been
// renamed into place, and noted meanwhile so that a signal handler removes
// it too.
class TempFile {
 public:
  TempFile(std::string path, int slot, Fd fd) : path_(std::move(path)), slot_(slot), fd_(std::move(fd)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    fd_.reset();
    if (!path_.empty()) ::unlink(path_.c_str());
    forget_temp_file(slot_);
  }

  int fd() const { return fd_.get(); }
  const std::string& path() const { return path_; }
  Status close() {
    if (::close(fd_.release()) != 0) return fail(io_error_text(errno));
    return {};
  }
  // The file now has its final name; nothing is left to remove.
  void renamed() { path_.clear(); }

 private:
  std::string path_;
  int slot_;
  Fd fd_;
};

// Why a temporary file could not be made: a failure, or a reason to write in
// place instead.
struct NoTempFile {
  bool write_in_place = false;
  int errnum = 0;
};

// A new temporary file beside `target`, named after it and hidden (no ".rs"
// ending either, so no search takes it for a source file).
Result<std::unique_ptr<TempFile>, NoTempFile> make_temp_beside(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  // A bare name lies in the working directory, which "" joins as.
  std::string folder = parent_path(target).value_or(std::string());
  std::string name = ".";
  name.append(file_name(target).value_or("file").substr(0, 200));
  name.append(".tersify-");
  name.append(std::to_string(::getpid()));
  name.push_back('-');
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = join_path(folder, name + std::to_string(counter.fetch_add(1)));
    int slot = note_temp_file(path);
    if (slot < 0) return fail(NoTempFile{true, 0});
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.valid()) return std::make_unique<TempFile>(std::move(path), slot, std::move(fd));
    int e = errno;
    forget_temp_file(slot);
    if (e == EEXIST) continue;
    return fail(NoTempFile{e == EACCES || e == EPERM || e == EROFS, e});
  }
  return fail(NoTempFile{false, EEXIST});
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
  if (existing && (!S_ISREG(existing->st_mode) || existing->st_nlink > 1)) return write_in_place(path, contents);

  auto temp = make_temp_beside(target);
  if (!temp) {
    if (temp.error().write_in_place) return write_in_place(path, contents);
    return fail(io_error_text(temp.error().errnum));
  }
  TempFile& file = **temp;
  if (existing) {
    // Only a privileged process may give a file away; the group may still
    // be one of ours. Neither failure stops the replacement.
    if (::fchown(file.fd(), existing->st_uid, existing->st_gid) != 0) {
      (void)::fchown(file.fd(), static_cast<uid_t>(-1), existing->st_gid);
    }
    if (::fchmod(file.fd(), existing->st_mode & 07777) != 0) return fail(io_error_text(errno));
  }
  if (auto written = write_all(file.fd(), contents); !written) return written;
  if (auto closed = file.close(); !closed) return closed;
  if (::rename(file.path().c_str(), target.c_str()) != 0) return fail(io_error_text(errno));
  file.renamed();
  return {};
}

}  // namespace tersify
