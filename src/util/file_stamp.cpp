#include "util/file_stamp.h"

#include <sys/stat.h>

#include <cerrno>

#include "util/digest.h"
#include "util/fs.h"

namespace tersify {

std::optional<std::string> file_stamp(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return path + " " + std::to_string(info.st_size) + " " + std::to_string(info.st_mtim.tv_sec) + "." +
         std::to_string(info.st_mtim.tv_nsec);
}

std::optional<std::string> file_contents_key(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return "missing";
    return std::nullopt;
  }
  if (!S_ISREG(info.st_mode)) return std::nullopt;
  auto bytes = read_file(path);
  if (!bytes) return std::nullopt;
  return hex_digest(*bytes);
}

}  // namespace tersify
