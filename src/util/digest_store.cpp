#include "util/digest_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "util/fd.h"
#include "util/fs.h"
#include "util/paths.h"

namespace tersify {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view temp_prefix = ".tmp-";
constexpr auto stale_temp_age = std::chrono::hours(1);

std::string subfolder_name(unsigned index) {
  constexpr char digits[] = "0123456789abcdef";
  return {digits[index >> 4], digits[index & 15]};
}

}  // namespace

DigestStore::DigestStore(std::string folder, std::string magic) : folder_(std::move(folder)), magic_(std::move(magic)) {}

std::string DigestStore::entry_path(const std::string& digest) const {
  return join_path(join_path(folder_, digest.substr(0, 2)), digest);
}

std::string DigestStore::entry_text(const std::string& digest) const { return magic_ + "\n" + digest + "\n"; }

bool DigestStore::contains(const std::string& digest) const {
  std::string path = entry_path(digest);
  auto text = read_file(path);
  if (!text || *text != entry_text(digest)) return false;
  (void)::utimensat(AT_FDCWD, path.c_str(), nullptr, 0);
  return true;
}

void DigestStore::add(const std::string& digest) const {
  static std::atomic<unsigned> counter{0};
  std::string folder = join_path(folder_, digest.substr(0, 2));
  std::error_code error;
  fs::create_directories(folder, error);
  std::string temp = join_path(folder, std::string(temp_prefix) + digest + "-" + std::to_string(::getpid()) + "-" +
                                           std::to_string(counter.fetch_add(1)));
  bool written = false;
  {
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd.valid()) return;
    written = write_all(fd.get(), entry_text(digest)).has_value();
  }
  if (!written || ::rename(temp.c_str(), entry_path(digest).c_str()) != 0) (void)::unlink(temp.c_str());
}

void DigestStore::prune(std::size_t limit) const {
  struct Entry {
    fs::file_time_type time;
    fs::path path;
  };
  std::vector<Entry> entries;
  auto now = fs::file_time_type::clock::now();
  for (unsigned index = 0; index < 256; ++index) {
    std::error_code error;
    for (fs::directory_iterator it(join_path(folder_, subfolder_name(index)), error), end; !error && it != end;
         it.increment(error)) {
      auto time = it->last_write_time(error);
      if (error) {
        error.clear();
        continue;
      }
      if (it->path().filename().string().starts_with(temp_prefix)) {
        if (now - time > stale_temp_age) fs::remove(it->path(), error);
        error.clear();
        continue;
      }
      entries.push_back({time, it->path()});
    }
  }
  if (entries.size() <= limit) return;
  std::size_t remove = entries.size() - limit + limit / 10;
  std::nth_element(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(remove - 1), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.time < b.time; });
  for (std::size_t i = 0; i < remove; ++i) {
    std::error_code error;
    fs::remove(entries[i].path, error);
  }
}

}  // namespace tersify
