#include "util/random_token.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>

namespace tersify {

std::string random_token() {
  std::uint64_t value = 0;
  ssize_t got = 0;
  do {
    got = ::getrandom(&value, sizeof value, 0);
  } while (got < 0 && errno == EINTR);
  if (got != static_cast<ssize_t>(sizeof value)) {
    // A kernel without getrandom: random_device reads the same source.
    std::random_device random;
    value = (std::uint64_t{random()} << 32) ^ random();
  }
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(value));
  return digits;
}

}  // namespace tersify
