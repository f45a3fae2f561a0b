#pragma once
// cargo as a run asks it about packages.

#include <utility>

#include "util/program_path.h"

namespace tersify::driver {

class MetadataCache;

// The program that a start of cargo by name runs, and the `cargo metadata`
// answers the run remembers (driver/metadata_cache.h; none: cargo always
// runs).
struct Cargo {
  Cargo(Program found, const MetadataCache* answers = nullptr)  // NOLINT(google-explicit-constructor)
      : program(std::move(found)), remembered(answers) {}
  Program program;
  const MetadataCache* remembered;
};

}  // namespace tersify::driver
