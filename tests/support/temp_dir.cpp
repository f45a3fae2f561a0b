#include "support/temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace tersify::test {

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "tersify-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may take permissions away; give them back so removal succeeds.
  for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0755);
  }
  ::chmod(path_.c_str(), 0755);
  fs::remove_all(path_, ec);
}

std::string TempDir::operator/(std::string_view relative) const {
  return path_ + "/" + std::string(relative);
}

void TempDir::write(std::string_view relative, std::string_view contents) const {
  fs::path target = *this / relative;
  fs::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (!out) throw std::runtime_error("cannot write " + target.string());
}

void TempDir::mkdir(std::string_view relative) const { fs::create_directories(*this / relative); }

void TempDir::symlink(std::string_view target, std::string_view relative) const {
  fs::path link = *this / relative;
  fs::create_directories(link.parent_path());
  if (::symlink(std::string(target).c_str(), link.c_str()) != 0) throw std::runtime_error("symlink failed");
}

std::string TempDir::read(std::string_view relative) const {
  std::ifstream in(*this / relative, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + (*this / relative));
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool TempDir::exists(std::string_view relative) const {
  struct stat st;
  return ::lstat((*this / relative).c_str(), &st) == 0;
}

void write_script(const std::string& path, std::string_view body) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "#!/bin/sh\n" << body;
    if (body.empty() || body.back() != '\n') out << '\n';
  }
  ::chmod(path.c_str(), 0755);
}

}  // namespace tersify::test
