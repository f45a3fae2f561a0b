#include "cargo_tersify/report.h"

#include <algorithm>
#include <optional>

#include "util/command_line.h"
#include "util/fs.h"
#include "util/paths.h"
#include "util/unified_diff.h"

namespace tersify {
namespace {

// The listed path as patch -p1 finds it from the working directory, or the
// file's absolute real path (flagged false) when there is none.
std::pair<std::string, bool> patch_path(const std::string& listed_path) {
  auto components = path_components(listed_path);
  bool lexical = std::none_of(components.begin(), components.end(), [](const PathComponent& c) {
    return c.kind == PathComponent::Kind::root || c.kind == PathComponent::Kind::parent_dir;
  });
  if (lexical) {
    std::string relative;
    for (const auto& c : components) {
      if (c.kind == PathComponent::Kind::name) relative = join_path(relative, c.text);
    }
    return {relative, true};
  }
  // The file itself may be a link; only its directory is resolved.
  auto directory = canonical_path(parent_path(listed_path).value_or("."));
  auto working_directory = canonical_path(".");
  std::string name(file_name(listed_path).value_or(""));
  if (!directory || !working_directory) return {listed_path, false};
  if (auto relative = path_below(*directory, *working_directory)) return {join_path(*relative, name), true};
  return {join_path(*directory, name), false};
}

// A file that does not exist yet is a diff from /dev/null, as patch and git
// apply take a new file.
std::string report_diff(const std::string& listed_path, bool created, std::string_view old_text,
                        std::string_view new_text) {
  auto [path, below_working_directory] = patch_path(listed_path);
  std::string old_name = created ? "/dev/null" : below_working_directory ? "a/" + path : path;
  std::string new_name = below_working_directory ? "b/" + path : path;
  return unified_diff(old_name, new_name, old_text, new_text);
}

}  // namespace

Result<int> finish_run(const RunArguments& args, const std::vector<driver::ConfigUpdate>& update_list,
                       const driver::ReformatList& reformat_list) {
  if (!args.check || (update_list.empty() && reformat_list.files.empty())) return 0;
  if (args.quiet) return 1;
  std::string report;
  for (const auto& update : update_list) {
    report += args.diff ? report_diff(update.path, update.created, update.old_text, update.new_text)
                        : "would update " + display_path(update.path) + "\n";
  }
  for (const auto& file : reformat_list.files) {
    report += args.diff ? report_diff(file.listed_path, false, file.source, file.final_text)
                        : "would reformat " + display_path(file.listed_path) + "\n";
  }
  auto written = write_standard_output(report);
  if (!written) return fail(std::move(written).error());
  return *written == 0 ? 1 : *written;
}

void report_handled(const std::string& path, bool changed, bool is_config, bool check) {
  const char* what = !changed ? "unchanged"
                     : check  ? (is_config ? "would update" : "would reformat")
                              : (is_config ? "updated" : "reformatted");
  (void)write_all(STDERR_FILENO, about_path(path, what) + "\n");
}

}  // namespace tersify
