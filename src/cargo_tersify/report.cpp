#include "cargo_tersify/report.h"

#include <unistd.h>

#include "util/fs.h"
#include "util/paths.h"

namespace tersify {

Result<int> finish_run(bool check, const std::vector<std::string>& update_list,
                       const std::vector<std::string>& reformat_list) {
  if (!check || (update_list.empty() && reformat_list.empty())) return 0;
  std::string report;
  for (const auto& path : update_list) report += "would update " + display_path(path) + "\n";
  for (const auto& path : reformat_list) report += "would reformat " + display_path(path) + "\n";
  if (auto written = write_all(STDOUT_FILENO, report); !written) {
    return fail("standard output: " + written.error());
  }
  return 1;
}

}  // namespace tersify
