#include "util/program_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "util/fd.h"

namespace tersify {

Result<std::string, int> Program::find() const {
  if (name.empty()) return fail(ENOENT);
  if (name.find('/') != std::string::npos) return name;
  std::string_view dirs = search_path;
  bool refused = false;
  for (;;) {
    std::size_t end = dirs.find(':');
    std::string_view dir = dirs.substr(0, end);
    std::string candidate = (dir.empty() ? std::string(".") : std::string(dir)) + "/" + name;
    struct stat st;
    if (::stat(candidate.c_str(), &st) == 0) {
      if (S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0) return candidate;
      refused = true;
    }
    if (end == std::string_view::npos) break;
    dirs.remove_prefix(end + 1);
  }
  return fail(refused ? EACCES : ENOENT);
}

bool Program::is_elf() const {
  auto file = find();
  if (!file) return false;
  Fd opened(::open(file->c_str(), O_RDONLY | O_CLOEXEC));
  char magic[4];
  return opened.valid() && ::read(opened.get(), magic, sizeof magic) == 4 &&
         std::memcmp(magic,
                     "\x7f"
                     "ELF",
                     4) == 0;
}

}  // namespace tersify
