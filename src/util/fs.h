#pragma once
// Whole-file reads and writes, file kinds and canonical paths. Failures are
// the I/O error text of io_error.h.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "util/result.h"

namespace tersify {

enum class FileKind { regular, directory, other };

// The kind of the entry at `path`, following symbolic links; none when the
// query fails (missing, dangling link, permission, NUL byte in the path).
std::optional<FileKind> file_kind(const std::string& path);

// What tells files apart: two paths name the same file (through links, hard
// or symbolic) when their identities are equal.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// A file and the marks its every change leaves on it: its identity, size
// and modification and change times (in nanoseconds). A file whose state is
// the same at two moments was not written in between, as long as its change
// time lay at an earlier tick of the clock the file system stamps with than
// the first look (file_state_tells_changes): a write within the same tick
// may leave the same times.
struct FileState {
  FileIdentity identity;
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;
  std::int64_t changed_ns = 0;
  bool operator==(const FileState&) const = default;
};

// The state that `st` (of stat(2) or fstat(2)) tells.
FileState file_state_of(const struct stat& st);

// The state of the file at `path`, following symbolic links; none when the
// query fails.
std::optional<FileState> file_state(const std::string& path);

// The file system's coarse clock (what it stamps changes with), in
// nanoseconds: read before a file's state is looked at, for
// file_state_tells_changes.
std::int64_t coarse_clock_ns();

// Whether any change of the file after `state` was looked at is sure to give
// it another state: its change time lies at a tick before `before_look`
// (coarse_clock_ns() read before the look), so that a change since then
// stamps a later one. A file system that stamps more finely only makes the
// test stricter.
bool file_state_tells_changes(const FileState& state, std::int64_t before_look);

// What is at `path`, from one lstat(2), and a stat(2) only where that is a
// symbolic link: what file_kind and file_identity say, the size, and whether
// the name itself is a link.
struct PathEntry {
  bool present = false;  // something, a link included, is there
  bool link = false;
  std::optional<FileKind> kind;          // following links
  std::optional<FileIdentity> identity;  // following links
  std::uint64_t size = 0;                // following links
};
PathEntry path_entry(const std::string& path);

// Whether something is at `path` (following symbolic links). Fails with the
// I/O error text of the query.
Status path_exists(const std::string& path);

// The identity of the file at `path`, following symbolic links; none when
// the query fails.
std::optional<FileIdentity> file_identity(const std::string& path);

// Reads the whole file. Fails with the I/O error text.
Result<std::string> read_file(const std::string& path);

// Reads the whole file as UTF-8 text. Fails with the I/O error text, or with
// "stream did not contain valid UTF-8".
Result<std::string> read_text_file(const std::string& path);

// read_text_file with the error number kept, for callers that treat some
// errors (a missing file) differently.
struct ReadError {
  int errnum = 0;  // 0 when the contents were not UTF-8
  std::string message;
};
Result<std::string, ReadError> read_text_file_detailed(const std::string& path);

// read_text_file_detailed for a settings file: anything but a regular file
// (a FIFO, a device) fails with "not a regular file" without being read, so
// that it can never stall the run.
Result<std::string, ReadError> read_regular_text_file(const std::string& path);

// Reads `fd` (a pipe, a terminal, a file) to its end. Fails with the I/O
// error text.
Result<std::string> read_all(int fd);

// read_all for a file of `expected` bytes (a regular file's size): read
// straight into a string of that size, with no copy on the way. The file may
// still turn out shorter or longer.
Result<std::string> read_all(int fd, std::size_t expected);

// Writes all of `data` to `fd`, continuing after partial writes and retrying
// when a signal interrupts. Fails with the I/O error text, or with "failed to
// write whole buffer" when a write accepts no bytes.
Status write_all(int fd, std::string_view data);

// Writes `contents` through `path`, opened for writing with create-or-truncate
// (a symbolic link stays a link; its target receives the text).
Status write_file(const std::string& path, std::string_view contents);

// The canonical path as realpath(3) gives it. The empty path fails with
// ENOENT's text.
Result<std::string> canonical_path(const std::string& path);

// Where the open file or folder `fd` is, as the kernel names it: its
// canonical path, with " (deleted)" after it once it was removed; "" when
// /proc can't say.
std::string opened_path(int fd);

// Where a write through `path` lands when `path` is a symbolic link: the
// end of its chain of links (which need not exist: a dangling link's write
// creates it), with its folder resolved when that exists. None when `path`
// is no link. Fails with the I/O error text of a query or of a loop.
Result<std::optional<std::string>> link_destination(const std::string& path);

}  // namespace tersify
