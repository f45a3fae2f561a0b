#include "support/tree.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/command.h"

namespace fs = std::filesystem;

namespace tersify::test {

std::string registry_crate(const std::string& name) {
  const char* registry = std::getenv("REGISTRY");
  fs::path root = registry != nullptr ? registry : "/usr/share/cargo/registry";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root, ec)) {
    std::string found = entry.path().filename().string();
    if (found.starts_with(name + "-") && found.size() > name.size() + 1 &&
        std::isdigit(static_cast<unsigned char>(found[name.size() + 1]))) {
      return entry.path().string();
    }
  }
  return "";
}

void copy_tree(const std::string& from, const std::string& to) {
  fs::create_directories(to);
  auto copied = run_command({"cp", "-a", from + "/.", to});
  if (copied.status != 0) throw std::runtime_error("cp failed: " + copied.err);
}

void copy_crate(const std::string& from, const std::string& to) {
  copy_tree(from, to);
  fs::remove(fs::path(to) / ".cargo-checksum.json");
}

std::map<std::string, std::string> snapshot(const std::string& dir) {
  std::map<std::string, std::string> entries;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
    // lexically: fs::relative would resolve a link to where it leads.
    std::string relative = it->path().lexically_relative(dir).string();
    if (it->is_symlink()) {
      std::string link = "-> ";
      link.append(fs::read_symlink(it->path()).string());
      entries[relative] = std::move(link);
    } else if (it->is_directory()) {
      entries[relative] = std::string(1, '/');  // a literal trips a false warning of g++ 12
    } else {
      std::ifstream in(it->path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      entries[relative] = bytes.str();
    }
  }
  return entries;
}

}  // namespace tersify::test
