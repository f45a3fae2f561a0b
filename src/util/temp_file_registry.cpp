#include "util/temp_file_registry.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>

namespace tersify {
namespace {

// A slot is claimed (busy), filled, then armed; a handler only reads armed
// slots, whose path is complete and stays unchanged until the slot is freed.
enum : int { free_slot = 0, busy_slot = 1, armed_slot = 2 };

// All zero until used, so that the slots take no start-up work and no
// memory the process does not touch.
struct Slot {
  std::atomic<int> state{free_slot};
  int folder = 0;  // what a file's path is relative to: set with the path
  char path[PATH_MAX];
};

// Files are written one at a time by the run thread; a few slots spare.
constinit std::array<Slot, 8> file_slots{};
// A scratch folder per worker at most; past that, best effort.
constinit std::array<Slot, 64> folder_slots{};

template <std::size_t N>
int note_in(std::array<Slot, N>& slots, int folder, const std::string& path) {
  if (path.size() >= PATH_MAX || path.find('\0') != std::string::npos) return -1;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    int expected = free_slot;
    if (!slots[i].state.compare_exchange_strong(expected, busy_slot)) continue;
    slots[i].folder = folder;
    std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
    slots[i].state.store(armed_slot);
    return static_cast<int>(i);
  }
  return -1;
}

// Empties the folder with raw system calls (no allocation), then removes it.
void remove_folder(const char* path) {
  int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    alignas(8) char buffer[4096];
    for (;;) {
      long length = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
      if (length <= 0) break;
      for (long at = 0; at < length;) {
        // struct linux_dirent64: inode, offset, record length, type, name.
        unsigned short record = 0;
        std::memcpy(&record, buffer + at + 16, sizeof record);
        const char* name = buffer + at + 19;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) ::unlinkat(fd, name, 0);
        at += record;
      }
    }
    ::close(fd);
  }
  ::rmdir(path);
}

}  // namespace

int note_temp_file(int folder, const std::string& name) { return note_in(file_slots, folder, name); }

void forget_temp_file(int slot) {
  if (slot >= 0) file_slots[static_cast<std::size_t>(slot)].state.store(free_slot);
}

int note_temp_folder(const std::string& path) { return note_in(folder_slots, AT_FDCWD, path); }

void forget_temp_folder(int slot) {
  if (slot >= 0) folder_slots[static_cast<std::size_t>(slot)].state.store(free_slot);
}

void remove_noted_temp_files() {
  for (auto& slot : file_slots) {
    if (slot.state.load() == armed_slot) ::unlinkat(slot.folder, slot.path, 0);
  }
  for (auto& slot : folder_slots) {
    if (slot.state.load() == armed_slot) remove_folder(slot.path);
  }
}

}  // namespace tersify
