#pragma once
// The bytes of the fork server's preload library, built from preload.c and
// embedded at build time.

#include <span>

namespace tersify {

std::span<const unsigned char> fork_server_preload_image();

}  // namespace tersify
