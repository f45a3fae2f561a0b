#pragma once
// Move-only owners of file descriptors and directory handles.

#include <dirent.h>
#include <unistd.h>

#include <utility>

namespace tersify {

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) reset(std::exchange(other.fd_, -1));
    return *this;
  }
  ~Fd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

class DirHandle {
 public:
  explicit DirHandle(DIR* dir) : dir_(dir) {}
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;
  DirHandle(DirHandle&& other) noexcept : dir_(std::exchange(other.dir_, nullptr)) {}
  DirHandle& operator=(DirHandle&&) = delete;
  ~DirHandle() {
    if (dir_ != nullptr) ::closedir(dir_);
  }

  DIR* get() const { return dir_; }
  explicit operator bool() const { return dir_ != nullptr; }

 private:
  DIR* dir_;
};

}  // namespace tersify
