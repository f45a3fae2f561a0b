#include "util/digest.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>

namespace tersify {

std::string hex_digest(std::string_view data) {
  XXH128_hash_t hash = XXH3_128bits(data.data(), data.size());
  char hex[33];
  std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                static_cast<unsigned long long>(hash.low64));
  return hex;
}

void append_key_part(std::string& key, std::string_view part) {
  key += std::to_string(part.size());
  key += ':';
  key += part;
}

}  // namespace tersify
