#include "cargo_tersify/run_options.h"

#include <sched.h>

#include <algorithm>
#include <utility>

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

Result<RunOptions> run_options(RunArguments arguments, driver::Environment environment) {
  unsigned jobs = usable_cpus();
  if (environment.jobs) {
    auto value = parse_unsigned(*environment.jobs);
    if (!value || *value == 0) {
      return fail("CARGO_TERSIFY_JOBS: expected a positive integer, found \"" + lossy_utf8(*environment.jobs) + "\"");
    }
    jobs = static_cast<unsigned>(std::min<std::uint64_t>(*value, max_jobs));
  }
  return RunOptions{std::move(arguments), std::move(environment), std::min(jobs, max_jobs)};
}

}  // namespace tersify
