#include "util/digest_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

#include "util/digest.h"
#include "util/fd.h"
#include "util/fs.h"
#include "util/random_token.h"

namespace tersify {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view temp_prefix = ".tmp-";
constexpr std::int64_t stale_temp_seconds = 3600;
constexpr std::int64_t refresh_after_seconds = 3600;

std::string subfolder_name(unsigned index) {
  constexpr char digits[] = "0123456789abcdef";
  return {digits[index >> 4], digits[index & 15]};
}

// A subfolder of the store, never through a link: whatever a link leads to
// lies outside the store.
Fd open_subfolder(int root, const std::string& name) {
  return Fd(::openat(root, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// The entry for `digest` below the store's folder `root`, opened for
// reading without following a link on the way: in one call where the kernel
// can resolve a path so, else through its subfolder.
Fd open_entry(int root, const std::string& digest) {
  constexpr int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  std::string path = digest.substr(0, 2) + "/" + digest;
  struct open_how how {};
  how.flags = flags;
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  long fd = ::syscall(SYS_openat2, root, path.c_str(), &how, sizeof how);
  if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != EINVAL)) return Fd(static_cast<int>(fd));
  Fd folder = open_subfolder(root, digest.substr(0, 2));
  if (!folder.valid()) return Fd();
  return Fd(::openat(folder.get(), digest.c_str(), flags));
}

// Reads up to `limit` bytes of `fd`. Gives none when a read fails.
std::optional<std::string> read_at_most(int fd, std::size_t limit) {
  std::string text(limit, '\0');
  std::size_t done = 0;
  while (done < limit) {
    ssize_t n = ::read(fd, text.data() + done, limit - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  text.resize(done);
  return text;
}

std::int64_t nanoseconds(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

}  // namespace

DigestStore::DigestStore(std::string folder, std::string magic)
    : folder_(std::move(folder)), magic_(std::move(magic)) {}

std::string DigestStore::entry_text(const std::string& digest) const { return magic_ + "\n" + digest + "\n"; }

int DigestStore::root() const {
  std::lock_guard lock(root_mutex_);
  // The store's own folder is the user's to place, through links or not.
  if (!root_.valid()) root_ = Fd(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return root_.get();
}

std::optional<std::string> DigestStore::read_entry(const std::string& digest, std::size_t min_size,
                                                   std::size_t max_size) const {
  int root_fd = root();
  if (root_fd < 0) return std::nullopt;
  // Only a regular file of an entry's size is read, and a FIFO or a device
  // is never waited on.
  Fd entry = open_entry(root_fd, digest);
  if (!entry.valid()) return std::nullopt;
  struct stat st;
  if (::fstat(entry.get(), &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) < min_size ||
      static_cast<std::size_t>(st.st_size) > max_size) {
    return std::nullopt;
  }
  auto text = read_at_most(entry.get(), static_cast<std::size_t>(st.st_size));
  if (!text) return std::nullopt;
  const std::int64_t now =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  if (now - nanoseconds(st.st_mtim) >= refresh_after_seconds * 1000000000) (void)::futimens(entry.get(), nullptr);
  return text;
}

bool DigestStore::contains(const std::string& digest) const {
  std::string expected = entry_text(digest);
  auto text = read_entry(digest, expected.size(), expected.size());
  return text && *text == expected;
}

std::optional<std::string> DigestStore::find(const std::string& digest) const {
  // The header, then the value's own digest on a line, then the value.
  std::string header = entry_text(digest);
  constexpr std::size_t value_digest_line = 33;
  auto text = read_entry(digest, header.size() + value_digest_line, header.size() + value_digest_line + max_value_size);
  if (!text || !text->starts_with(header) || (*text)[header.size() + value_digest_line - 1] != '\n')
    return std::nullopt;
  std::string_view value = std::string_view(*text).substr(header.size() + value_digest_line);
  if (text->compare(header.size(), value_digest_line - 1, hex_digest(value)) != 0) return std::nullopt;
  return std::string(value);
}

void DigestStore::add(const std::string& digest) const { write_entry(digest, entry_text(digest)); }

void DigestStore::put(const std::string& digest, std::string_view value) const {
  if (value.size() > max_value_size) return;
  std::string text = entry_text(digest) + hex_digest(value) + "\n";
  text.append(value);
  write_entry(digest, text);
}

void DigestStore::write_entry(const std::string& digest, std::string_view text) const {
  int root_fd = root();
  if (root_fd < 0) {
    std::error_code error;
    fs::create_directories(folder_, error);
    root_fd = root();
    if (root_fd < 0) return;
  }
  std::string sub = digest.substr(0, 2);
  (void)::mkdirat(root_fd, sub.c_str(), 0755);
  Fd folder = open_subfolder(root_fd, sub);
  if (!folder.valid()) return;
  std::string temp = std::string(temp_prefix) + digest + "-" + std::to_string(::getpid()) + "-" + random_token();
  bool written = false;
  {
    Fd fd(::openat(folder.get(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.valid()) return;
    written = write_all(fd.get(), text).has_value();
  }
  if (!written || ::renameat(folder.get(), temp.c_str(), folder.get(), digest.c_str()) != 0) {
    (void)::unlinkat(folder.get(), temp.c_str(), 0);
  }
}

bool DigestStore::prune_this_run() {
  std::random_device random;
  return random() % prune_one_in == 0;
}

void DigestStore::prune(std::size_t limit) const {
  int root_fd = root();
  if (root_fd < 0) return;
  struct Entry {
    std::int64_t time;
    unsigned subfolder;
    std::string name;
  };
  std::vector<Entry> entries;
  const std::int64_t now =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  for (unsigned index = 0; index < 256; ++index) {
    Fd folder = open_subfolder(root_fd, subfolder_name(index));
    if (!folder.valid()) continue;
    Fd listing(::openat(folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DirHandle dir(listing.valid() ? ::fdopendir(listing.get()) : nullptr);
    if (!dir) continue;
    (void)listing.release();  // the listing owns it now
    while (const dirent* entry = ::readdir(dir.get())) {
      std::string_view name(entry->d_name);
      struct stat st;
      if (name == "." || name == ".." || ::fstatat(folder.get(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        continue;
      std::int64_t time = nanoseconds(st.st_mtim);
      if (name.starts_with(temp_prefix)) {
        if (now - time > stale_temp_seconds * 1000000000) (void)::unlinkat(folder.get(), entry->d_name, 0);
        continue;
      }
      entries.push_back({time, index, std::string(name)});
    }
  }
  if (entries.size() <= limit) return;
  std::size_t remove = entries.size() - limit + limit / 10;
  std::nth_element(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(remove - 1), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.time < b.time; });
  entries.resize(remove);
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    return std::tie(a.subfolder, a.name) < std::tie(b.subfolder, b.name);
  });
  Fd folder;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i == 0 || entries[i].subfolder != entries[i - 1].subfolder) {
      folder = open_subfolder(root_fd, subfolder_name(entries[i].subfolder));
    }
    // unlinkat removes a link itself, never what it leads to.
    if (folder.valid()) (void)::unlinkat(folder.get(), entries[i].name.c_str(), 0);
  }
}

}  // namespace tersify
