#pragma once
// How a run's rustfmt runs were made. Every way of running rustfmt counts
// its runs here, and the run's statistics (CARGO_TERSIFY_STATS) show them
// as they are named here.

#include <atomic>
#include <cstdint>
#include <vector>

#include "driver/formatter.h"

namespace tersify::driver {

struct RustfmtCounts {
  std::atomic<std::uint64_t> plain{0};            // started afresh
  std::atomic<std::uint64_t> served{0};           // forked by a server
  std::atomic<std::uint64_t> servers{0};          // servers started
  std::atomic<std::uint64_t> servers_dropped{0};  // servers given up during the run (never ready, or broken)
  std::atomic<std::uint64_t> batches{0};          // of the runs above, those given files (driver/rustfmt_batch.h)
  std::atomic<std::uint64_t> batch_misses{0};     // texts that a batch gave no result for

  std::vector<RunCount> named() const {
    return {{"rustfmt_plain", plain.load()},     {"rustfmt_served", served.load()},
            {"servers", servers.load()},         {"servers_dropped", servers_dropped.load()},
            {"rustfmt_batches", batches.load()}, {"batch_misses", batch_misses.load()}};
  }
};

}  // namespace tersify::driver
