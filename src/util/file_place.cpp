#include "util/file_place.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "util/io_error.h"
#include "util/paths.h"
#include "util/text.h"

namespace tersify {
namespace {

bool within_any(std::string_view path, std::span<const std::string> roots) {
  return std::any_of(roots.begin(), roots.end(), [&](const std::string& root) { return lies_within(path, root); });
}

std::string outside(const std::string& path) { return "leads to " + display_path(path) + ", outside the paths given"; }

}  // namespace

Result<FilePlace> find_file_place(const std::string& path, std::span<const std::string> roots) {
  if (path.find('\0') != std::string::npos) return fail(io_error_text(EINVAL));
  std::string folder, name;
  struct stat st;
  bool linked = ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  if (linked) {
    auto target = canonical_path(path);
    if (!target) return fail(std::move(target).error());
    folder = parent_path(*target).value_or("/");
    name = file_name(*target).value_or("");
  } else {
    auto parent = parent_path(path);
    std::string named = parent && !parent->empty() ? *parent : std::string(".");
    name = file_name(path).value_or("");
    // The open folder says where it is: no walk of the path's components.
    Fd opened(::open(named.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string shown = opened.valid() && !name.empty() ? opened_path(opened.get()) : std::string();
    if (!shown.empty() && !shown.ends_with(" (deleted)")) {
      std::string canonical = join_path(shown, name);
      if (!roots.empty() && !within_any(canonical, roots)) return fail(outside(canonical));
      return FilePlace{std::move(opened), std::move(name), std::move(canonical), false};
    }
    auto canonical = canonical_path(named);
    if (!canonical) return fail(std::move(canonical).error());
    folder = std::move(*canonical);
  }
  // "/", "." and ".." name folders.
  if (name.empty()) return fail(io_error_text(EISDIR));
  std::string canonical = join_path(folder, name);
  if (!roots.empty() && !within_any(canonical, roots)) return fail(outside(canonical));

  Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return fail(io_error_text(errno));
  if (!roots.empty()) {
    std::string opened = opened_path(fd.get());
    if (!opened.empty() && !within_any(join_path(opened, name), roots)) {
      return fail(outside(join_path(opened, name)));
    }
  }
  return FilePlace{std::move(fd), std::move(name), std::move(canonical), linked};
}

namespace {

// The regular file opened (without following a link) from `fd`, the
// folder it lies in: read_regular_text's read.
Result<ReadText> read_opened(Fd fd) {
  std::int64_t before_look = coarse_clock_ns();
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return fail(io_error_text(errno));
  if (S_ISDIR(st.st_mode)) return fail(io_error_text(EISDIR));
  if (!S_ISREG(st.st_mode)) return fail("not a regular file");
  auto text = read_all(fd.get(), static_cast<std::size_t>(st.st_size));
  if (!text) return fail(std::move(text).error());
  if (!is_valid_utf8(*text)) return fail(invalid_utf8_text);
  FileState state = file_state_of(st);
  std::optional<FileState> telling;
  if (file_state_tells_changes(state, before_look)) telling = state;
  return ReadText{std::move(*text), state.identity, telling};
}

Fd open_in(const FilePlace& place, const std::string& name) {
  return Fd(::openat(place.folder.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

}  // namespace

Result<ReadText> read_regular_text(const std::string& path, std::span<const std::string> roots) {
  auto place = find_file_place(path, roots);
  if (!place) return fail(std::move(place).error());
  Fd fd = open_in(*place, place->name);
  if (!fd.valid()) return fail(io_error_text(errno));
  return read_opened(std::move(fd));
}

namespace {

// The state of the file at `path` when the path, made absolute from
// `working_folder`, lies within `roots` as spelled and leads there through
// no link: then it lies where it is spelled, and no look at where the opened
// file lies is needed. None when that can't be shown that way.
std::optional<FileState> state_along_plain_path(const std::string& path, std::span<const std::string> roots,
                                                std::string_view working_folder) {
  if (roots.empty() || (!path.starts_with('/') && working_folder.empty())) return std::nullopt;
  std::string absolute = path.starts_with('/') ? path : join_path(working_folder, path);
  // lies_within takes a path holding ".." to lie nowhere.
  if (!within_any(absolute, roots)) return std::nullopt;
  struct open_how how {};
  how.flags = O_PATH | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  Fd fd(static_cast<int>(::syscall(SYS_openat2, AT_FDCWD, absolute.c_str(), &how, sizeof how)));
  struct stat st;
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) return std::nullopt;
  return file_state_of(st);
}

}  // namespace

std::optional<FileState> file_state_within(const std::string& path, std::span<const std::string> roots,
                                           std::string_view working_folder) {
  if (path.find('\0') != std::string::npos) return std::nullopt;
  if (auto state = state_along_plain_path(path, roots, working_folder)) return state;
  // One resolution of the path gives both the file and where it lies.
  Fd fd(::open(path.c_str(), O_PATH | O_CLOEXEC));
  if (!fd.valid()) return std::nullopt;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return std::nullopt;
  if (!roots.empty()) {
    std::string opened = opened_path(fd.get());
    if (opened.empty() || opened.ends_with(" (deleted)") || !within_any(opened, roots)) return std::nullopt;
  }
  return file_state_of(st);
}

Result<ReadText> RegularTextReader::read(const std::string& path) {
  auto named = parent_path(path);
  auto name = file_name(path);
  if (place_ && named && name && !name->empty() && *name != "." && *name != ".." && *named == named_folder_) {
    std::string canonical = join_path(parent_path(place_->path).value_or("/"), *name);
    if (roots_.empty() || within_any(canonical, roots_)) {
      Fd fd = open_in(*place_, std::string(*name));
      // A link (ELOOP) or anything else unusual takes the whole way.
      if (fd.valid()) return read_opened(std::move(fd));
    }
  }
  auto place = find_file_place(path, roots_);
  if (!place) return fail(std::move(place).error());
  Fd fd = open_in(*place, place->name);
  if (!fd.valid()) return fail(io_error_text(errno));
  // Only a place found for the path as named stands for its folder: not one
  // a link at the path's end led to.
  if (named && !place->linked) {
    named_folder_ = *named;
    place_ = std::move(*place);
  } else {
    place_.reset();
  }
  return read_opened(std::move(fd));
}

}  // namespace tersify
