#include "cargo_tersify/environment.h"

#include <sched.h>

#include <algorithm>
#include <cstdlib>

#include "driver/result_cache.h"
#include "util/text.h"

namespace tersify {
namespace {

unsigned usable_cpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return static_cast<unsigned>(std::max(1, CPU_COUNT(&set)));
}

}  // namespace

Result<RunEnvironment> read_environment() {
  RunEnvironment environment;
  environment.jobs = usable_cpus();
  if (const char* jobs = std::getenv("CARGO_TERSIFY_JOBS")) {
    auto value = parse_unsigned(jobs);
    if (!value || *value == 0) {
      return fail("CARGO_TERSIFY_JOBS: expected a positive integer, found \"" + lossy_utf8(jobs) + "\"");
    }
    environment.jobs = static_cast<unsigned>(std::min<std::uint64_t>(*value, max_jobs));
  }
  environment.jobs = std::min(environment.jobs, max_jobs);
  if (const char* server = std::getenv("CARGO_TERSIFY_FORK_SERVER"))
    environment.fork_server = std::string(server) != "0";
  if (const char* batches = std::getenv("CARGO_TERSIFY_BATCH")) environment.batches = std::string(batches) != "0";
  if (const char* stats = std::getenv("CARGO_TERSIFY_STATS")) environment.stats_path = stats;
  environment.cache_folder = driver::result_cache_folder();
  environment.metadata_cache_folder = driver::metadata_cache_folder();
  environment.cargo = driver::CargoEnvironment::of_process();
  return environment;
}

}  // namespace tersify
