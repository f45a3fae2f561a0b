#include "driver/environment.h"

#include <cstdlib>
#include <string_view>

namespace tersify::driver {
namespace {

std::optional<std::string> variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::optional<std::string> non_empty(const char* name) {
  auto value = variable(name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

std::optional<std::string> absolute(const char* name) {
  auto value = variable(name);
  if (value && !value->starts_with('/')) return std::nullopt;
  return value;
}

bool switched_off(const char* name) { return variable(name) == "0"; }

}  // namespace

Environment read_environment() {
  Environment environment;
  environment.jobs = variable("CARGO_TERSIFY_JOBS");
  environment.fork_server = !switched_off("CARGO_TERSIFY_FORK_SERVER");
  environment.batches = !switched_off("CARGO_TERSIFY_BATCH");
  environment.cache = !switched_off("CARGO_TERSIFY_CACHE");
  environment.stats_path = variable("CARGO_TERSIFY_STATS");
  environment.search_path = variable("PATH").value_or(default_search_path);
  environment.temp_folder = absolute("TMPDIR").value_or("/tmp");
  environment.home = non_empty("HOME");
  environment.config_home = non_empty("XDG_CONFIG_HOME");
  environment.cache_home = absolute("XDG_CACHE_HOME");
  environment.rustup_home = non_empty("RUSTUP_HOME");
  environment.rustup_toolchain = variable("RUSTUP_TOOLCHAIN");
  return environment;
}

}  // namespace tersify::driver
