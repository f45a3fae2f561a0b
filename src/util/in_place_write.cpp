#include "util/in_place_write.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <utility>
#include <vector>

#include "util/child_registry.h"
#include "util/fd.h"
#include "util/fs.h"
#include "util/io_error.h"
#include "util/random_token.h"
#include "util/stale_names.h"

namespace tersify {
namespace {

// ".{name}.tersify-old-{pid}-{token}": hidden, not ending in ".rs", and
// apart from the temporary files of util/replace_file.h.
constexpr std::string_view kept_marker = ".tersify-old-";
constexpr std::string_view kept_magic = "in-place write 1\n";

// The kept text: which file it belongs to, then the old and the new text.
std::string kept_header(const std::string& name, const struct stat& st, std::size_t old_size, std::size_t new_size) {
  std::string header(kept_magic);
  for (auto value : {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
                     static_cast<unsigned long long>(name.size()), static_cast<unsigned long long>(old_size),
                     static_cast<unsigned long long>(new_size)}) {
    header += std::to_string(value) + " ";
  }
  header.back() = '\n';
  return header + name;
}

struct Kept {
  dev_t device = 0;
  ino_t inode = 0;
  std::string name;
  std::string_view old_text, new_text;  // into the kept file's bytes
};

// The kept text in `bytes`, or none when it is not whole.
std::optional<Kept> parse_kept(std::string_view bytes) {
  if (!bytes.starts_with(kept_magic)) return std::nullopt;
  bytes.remove_prefix(kept_magic.size());
  unsigned long long values[5];
  const char* at = bytes.data();
  const char* end = bytes.data() + bytes.size();
  for (std::size_t i = 0; i < 5; ++i) {
    auto [next, error] = std::from_chars(at, end, values[i]);
    if (error != std::errc() || next == end || *next != (i < 4 ? ' ' : '\n')) return std::nullopt;
    at = next + 1;
  }
  std::string_view rest(at, static_cast<std::size_t>(end - at));
  if (rest.size() != values[2] + values[3] + values[4]) return std::nullopt;
  Kept kept{static_cast<dev_t>(values[0]), static_cast<ino_t>(values[1]), std::string(rest.substr(0, values[2])), {},
            {}};
  kept.old_text = rest.substr(values[2], values[3]);
  kept.new_text = rest.substr(values[2] + values[3]);
  return kept;
}

// Whether `now` is what an unfinished write of `fresh` over `old` can leave:
// every byte from one of them, at a length the file had on the way.
bool unfinished(std::string_view now, std::string_view old, std::string_view fresh) {
  if (now.size() != old.size() && now.size() != fresh.size() && now.size() != std::max(old.size(), fresh.size())) {
    return false;
  }
  for (std::size_t i = 0; i < now.size(); ++i) {
    bool from_old = i < old.size() && now[i] == old[i];
    bool from_new = i < fresh.size() && now[i] == fresh[i];
    if (!from_old && !from_new) return false;
  }
  return true;
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

// Gives `file` the text `text` again, flushed. Gives 0 or the error number.
int put_back(int file, std::string_view text) {
  if (int e = write_at(file, text, 0).second; e != 0) return e;
  if (::ftruncate(file, static_cast<off_t>(text.size())) != 0 || ::fsync(file) != 0) return errno;
  return 0;
}

// Keeps the old text beside the file, on disk. Gives the kept file's name,
// "" when the folder takes none (it may not be written), or the error
// number.
Result<std::string, int> keep_old_text(int folder, const std::string& name, const struct stat& st,
                                       std::string_view old, std::string_view contents) {
  std::string header = kept_header(name, st, old.size(), contents.size());
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string kept(1, '.');
    kept.append(name, 0, 200).append(kept_marker).append(std::to_string(::getpid())).append("-").append(random_token());
    Fd fd(::openat(folder, kept.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) {
      if (errno == EEXIST) continue;
      if (errno == EACCES || errno == EPERM || errno == EROFS) return std::string();
      return fail(errno);
    }
    off_t at = 0;
    int e = 0;
    for (std::string_view part : {std::string_view(header), old, contents}) {
      if (e == 0) e = write_at(fd.get(), part, at).second;
      at += static_cast<off_t>(part.size());
    }
    if (e == 0 && (::fsync(fd.get()) != 0 || ::fsync(folder) != 0)) e = errno;
    if (e != 0) {
      (void)::unlinkat(folder, kept.c_str(), 0);
      return fail(e);
    }
    return kept;
  }
  return fail(EEXIST);
}

void recover_one(int folder, const std::string& kept_name) {
  Fd kept_fd(::openat(folder, kept_name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (!kept_fd.valid() || ::fstat(kept_fd.get(), &st) != 0) return;
  // Only what this user's own write kept; anything else is not ours.
  if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) return;
  auto bytes = read_all(kept_fd.get());
  if (!bytes) return;
  auto kept = parse_kept(*bytes);
  if (kept) {
    // A kept text that is not whole was cut short before the write began.
    Fd file(::openat(folder, kept->name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid() && errno != ENOENT && errno != ELOOP) return;  // left for a run that may write it
    struct stat now_st;
    if (file.valid() && ::fstat(file.get(), &now_st) == 0 && S_ISREG(now_st.st_mode) && now_st.st_dev == kept->device &&
        now_st.st_ino == kept->inode) {
      auto now = read_all(file.get());
      if (!now) return;
      if (*now != kept->new_text && *now != kept->old_text && unfinished(*now, kept->old_text, kept->new_text)) {
        TerminationHold hold;
        if (put_back(file.get(), kept->old_text) != 0) return;
      }
    }
  }
  (void)::unlinkat(folder, kept_name.c_str(), 0);
}

}  // namespace

Status write_in_place(int folder, const std::string& name, int file, const struct stat& st, std::string_view old,
                      std::string_view contents) {
  TerminationHold hold;
  auto kept = keep_old_text(folder, name, st, old, contents);
  if (!kept) return fail(io_error_text(kept.error()));

  auto [written, error] = write_at(file, contents, 0);
  if (error == 0 && (::ftruncate(file, static_cast<off_t>(contents.size())) != 0 || ::fsync(file) != 0)) {
    error = errno;
  }
  if (error == 0) {
    if (!kept->empty()) (void)::unlinkat(folder, kept->c_str(), 0);
    return {};
  }
  // Only the bytes written so far are put back, which always fits where they
  // came from (no new space, no offset past a size limit that the new text
  // did not pass either).
  bool restored = write_at(file, old.substr(0, std::min(written, old.size())), 0).second == 0 &&
                  ::ftruncate(file, static_cast<off_t>(old.size())) == 0;
  if (restored && !kept->empty()) (void)::unlinkat(folder, kept->c_str(), 0);
  return fail(io_error_text(error));
}

void recover_in_place_writes(const std::string& folder_path) {
  // The listing's own descriptor is the folder the names were found in.
  DirHandle dir(::opendir(folder_path.c_str()));
  if (!dir) return;
  std::vector<std::string> found;
  while (const dirent* entry = ::readdir(dir.get())) {
    std::string_view name(entry->d_name);
    std::size_t at = name.rfind(kept_marker);
    if (at == std::string_view::npos || !name.starts_with('.')) continue;
    if (left_by_dead_process(name, name.substr(0, at + kept_marker.size()))) found.emplace_back(name);
  }
  for (const auto& name : found) recover_one(::dirfd(dir.get()), name);
}

}  // namespace tersify
