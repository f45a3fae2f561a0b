#include "util/temp_file_registry.h"

#include <limits.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>

namespace tersify {
namespace {

// A slot is claimed (busy), filled, then armed; a handler only reads armed
// slots, whose path is complete and stays unchanged until the slot is freed.
enum : int { free_slot = 0, busy_slot = 1, armed_slot = 2 };

struct Slot {
  std::atomic<int> state{free_slot};
  char path[PATH_MAX];
};

// Files are written one at a time by the run thread; a few slots spare.
std::array<Slot, 8> slots;

}  // namespace

int note_temp_file(const std::string& path) {
  if (path.size() >= PATH_MAX || path.find('\0') != std::string::npos) return -1;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    int expected = free_slot;
    if (!slots[i].state.compare_exchange_strong(expected, busy_slot)) continue;
    std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
    slots[i].state.store(armed_slot);
    return static_cast<int>(i);
  }
  return -1;
}

void forget_temp_file(int slot) {
  if (slot >= 0) slots[static_cast<std::size_t>(slot)].state.store(free_slot);
}

void remove_noted_temp_files() {
  for (auto& slot : slots) {
    if (slot.state.load() == armed_slot) ::unlink(slot.path);
  }
}

}  // namespace tersify
