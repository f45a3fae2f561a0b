#include "util/fs.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>
#include <cstdlib>
#include <memory>

#include "util/fd.h"
#include "util/io_error.h"
#include "util/paths.h"
#include "util/text.h"

namespace tersify {

std::optional<FileKind> file_kind(const std::string& path) {
  struct stat st;
  if (path.find('\0') != std::string::npos || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  if (S_ISREG(st.st_mode)) return FileKind::regular;
  if (S_ISDIR(st.st_mode)) return FileKind::directory;
  return FileKind::other;
}

namespace {

FileKind kind_of(const struct stat& st) {
  if (S_ISREG(st.st_mode)) return FileKind::regular;
  if (S_ISDIR(st.st_mode)) return FileKind::directory;
  return FileKind::other;
}

}  // namespace

PathEntry path_entry(const std::string& path) {
  PathEntry entry;
  struct stat st;
  if (path.find('\0') != std::string::npos || ::lstat(path.c_str(), &st) != 0) return entry;
  entry.present = true;
  entry.link = S_ISLNK(st.st_mode);
  if (entry.link && ::stat(path.c_str(), &st) != 0) return entry;
  entry.kind = kind_of(st);
  entry.identity = FileIdentity{st.st_dev, st.st_ino};
  entry.size = static_cast<std::uint64_t>(st.st_size);
  return entry;
}

std::optional<FileIdentity> file_identity(const std::string& path) {
  struct stat st;
  if (path.find('\0') != std::string::npos || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{st.st_dev, st.st_ino};
}

FileState file_state_of(const struct stat& st) {
  auto ns = [](const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + static_cast<std::int64_t>(t.tv_nsec);
  };
  return FileState{FileIdentity{st.st_dev, st.st_ino}, static_cast<std::int64_t>(st.st_size), ns(st.st_mtim),
                   ns(st.st_ctim)};
}

std::optional<FileState> file_state(const std::string& path) {
  struct stat st;
  if (path.find('\0') != std::string::npos || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  return file_state_of(st);
}

std::int64_t coarse_clock_ns() {
  struct timespec now;
  if (::clock_gettime(CLOCK_REALTIME_COARSE, &now) != 0) return 0;
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + static_cast<std::int64_t>(now.tv_nsec);
}

bool file_state_tells_changes(const FileState& state, std::int64_t before_look) {
  return state.changed_ns < before_look;
}

namespace {

// Appends everything up to the end of `fd` to `contents`, retrying when a
// signal interrupts. Gives 0, or the errno of the read that failed.
int append_until_end(int fd, std::string& contents) {
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    contents.append(buffer, static_cast<size_t>(n));
  }
}

// With `regular_only`, the open can't block (on a FIFO without a writer) and
// anything but a regular file is refused.
Result<std::string, ReadError> read_bytes(const std::string& path, bool regular_only = false) {
  if (path.find('\0') != std::string::npos) return fail(ReadError{EINVAL, io_error_text(EINVAL)});
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | (regular_only ? O_NONBLOCK : 0)));
  if (!fd.valid()) {
    int e = errno;
    return fail(ReadError{e, io_error_text(e)});
  }
  std::string contents;
  struct stat st {};
  bool regular = ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode);
  if (regular_only && !regular) {
    if (S_ISDIR(st.st_mode)) return fail(ReadError{EISDIR, io_error_text(EISDIR)});
    return fail(ReadError{EINVAL, "not a regular file"});
  }
  if (regular && st.st_size > 0) {
    contents.reserve(static_cast<size_t>(st.st_size));
  }
  if (int e = append_until_end(fd.get(), contents); e != 0) return fail(ReadError{e, io_error_text(e)});
  return contents;
}

}  // namespace

Result<std::string> read_all(int fd) {
  std::string contents;
  if (int e = append_until_end(fd, contents); e != 0) return fail(io_error_text(e));
  return contents;
}

Result<std::string> read_all(int fd, std::size_t expected) {
  // One byte more, so that the read that finds the end needs no growth. The
  // room is not cleared first: every byte kept is one that read() wrote.
  std::string contents;
  std::size_t room = expected + 1;
  std::size_t done = 0;
  int error = 0;
  bool at_end = false;
  while (!at_end && error == 0) {
    contents.resize_and_overwrite(room, [&](char* data, std::size_t size) {
      while (done < size) {
        ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0) {
          if (errno == EINTR) continue;
          error = errno;
          break;
        }
        if (n == 0) {
          at_end = true;
          break;
        }
        done += static_cast<std::size_t>(n);
      }
      return done;
    });
    room *= 2;
  }
  if (error != 0) return fail(io_error_text(error));
  return contents;
}

Result<std::string, ReadError> read_text_file_detailed(const std::string& path) {
  auto read = read_bytes(path);
  if (read && !is_valid_utf8(*read)) return fail(ReadError{0, invalid_utf8_text});
  return read;
}

Result<std::string, ReadError> read_regular_text_file(const std::string& path) {
  auto read = read_bytes(path, true);
  if (read && !is_valid_utf8(*read)) return fail(ReadError{0, invalid_utf8_text});
  return read;
}

Status path_exists(const std::string& path) {
  struct stat st;
  if (path.find('\0') != std::string::npos) return fail(io_error_text(EINVAL));
  if (::stat(path.c_str(), &st) != 0) return fail(io_error_text(errno));
  return {};
}

Result<std::string> read_file(const std::string& path) {
  auto read = read_bytes(path);
  if (!read) return fail(std::move(read).error().message);
  return std::move(read).value();
}

Result<std::string> read_text_file(const std::string& path) {
  auto read = read_file(path);
  if (!read) return read;
  if (!is_valid_utf8(*read)) return fail(invalid_utf8_text);
  return read;
}

Status write_file(const std::string& path, std::string_view contents) {
  if (path.find('\0') != std::string::npos) return fail(io_error_text(EINVAL));
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (!fd.valid()) return fail(io_error_text(errno));
  if (auto written = write_all(fd.get(), contents); !written) return written;
  if (::close(fd.release()) != 0) return fail(io_error_text(errno));
  return {};
}

Status write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(io_error_text(errno));
    }
    if (n == 0) return fail("failed to write whole buffer");
    data.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

std::string opened_path(int fd) {
  char shown[PATH_MAX];
  std::string link = "/proc/self/fd/" + std::to_string(fd);
  ssize_t length = ::readlink(link.c_str(), shown, sizeof shown);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof shown || shown[0] != '/') return {};
  return std::string(shown, static_cast<std::size_t>(length));
}

Result<std::string> canonical_path(const std::string& path) {
  if (path.empty()) return fail(io_error_text(ENOENT));
  if (path.find('\0') != std::string::npos) return fail(io_error_text(EINVAL));
  // Where the kernel opened it says where it is: three calls whatever the
  // path's depth, where realpath reads every component as a link. realpath
  // answers when /proc can't.
  Fd opened(::open(path.c_str(), O_PATH | O_CLOEXEC));
  if (!opened.valid()) return fail(io_error_text(errno));
  if (auto shown = opened_path(opened.get()); !shown.empty() && !shown.ends_with(" (deleted)")) return shown;
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
  if (!resolved) return fail(io_error_text(errno));
  return std::string(resolved.get());
}

Result<std::optional<std::string>> link_destination(const std::string& path) {
  if (path.find('\0') != std::string::npos) return fail(io_error_text(EINVAL));
  // The kernel's own limit on links in a chain.
  constexpr int max_links = 40;
  std::string current = path;
  int links = 0;
  for (;;) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0) {
      if (errno != ENOENT) return fail(io_error_text(errno));
      break;
    }
    if (!S_ISLNK(st.st_mode)) break;
    if (++links > max_links) return fail(io_error_text(ELOOP));
    char target[PATH_MAX];
    ssize_t length = ::readlink(current.c_str(), target, sizeof target);
    if (length < 0) return fail(io_error_text(errno));
    if (static_cast<size_t>(length) == sizeof target) return fail(io_error_text(ENAMETOOLONG));
    std::string_view text(target, static_cast<size_t>(length));
    current = text.starts_with('/') ? std::string(text) : join_path(parent_path(current).value_or(""), text);
  }
  if (links == 0) return std::optional<std::string>();
  auto name = file_name(current);
  auto parent = parent_path(current);
  if (!name || !parent) {
    auto resolved = canonical_path(current);
    return std::optional<std::string>(resolved ? std::move(*resolved) : std::move(current));
  }
  auto folder = canonical_path(parent->empty() ? std::string(".") : *parent);
  if (!folder) return std::optional<std::string>(std::move(current));
  return std::optional<std::string>(join_path(*folder, *name));
}

}  // namespace tersify
