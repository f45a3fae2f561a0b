#include "driver/environment.h"

#include <cstdlib>
#include <map>
#include <string_view>

extern char** environ;

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

std::string cargo_variables() {
  std::map<std::string_view, std::string_view> chosen;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    std::string_view name = text.substr(0, text.find('='));
    if ((name.starts_with("CARGO") || name.starts_with("RUSTUP")) && !name.starts_with("CARGO_TERSIFY_")) {
      chosen.emplace(name, text);
    }
  }
  std::string lines;
  for (const auto& [name, line] : chosen) lines.append(line).append("\n");
  return lines;
}

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
  environment.cargo_home = non_empty("CARGO_HOME");
  environment.cargo_variables = cargo_variables();
  return environment;
}

}  // namespace tersify::driver
