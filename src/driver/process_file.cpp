#include "driver/process_file.h"

#include <utility>

#include "compact/compact.h"
#include "driver/formatter_settings.h"
#include "driver/rustfmt.h"
#include "util/fs.h"
#include "util/paths.h"

namespace tersify::driver {

Result<PendingFile> start_file(const std::string& listed_path, std::optional<std::uint64_t> width_override,
                               EditionMap& editions) {
  auto source = read_text_file(listed_path);
  if (!source) return fail(std::move(source).error());

  auto edition = edition_for(listed_path, editions);
  if (!edition) return fail(std::move(edition).error());

  std::uint64_t width = width_override ? *width_override : max_width_for(listed_path);

  auto rustfmt = start_rustfmt(*source, *edition, width);
  if (!rustfmt) return fail(std::move(rustfmt).error());
  return PendingFile{listed_path, std::move(*source), width, std::move(*rustfmt)};
}

Result<FormattedFile> collect_file(PendingFile file) {
  auto formatted = finish_rustfmt(file.rustfmt);
  if (!formatted) return fail(std::move(formatted).error());
  return FormattedFile{std::move(file.listed_path), std::move(file.source), std::move(*formatted), file.width};
}

Status record_file(const std::string& listed_path, const std::string& source, const std::string& final_text,
                   bool check, std::vector<std::string>& reformat_list) {
  if (final_text == source) return {};

  if (check) {
    reformat_list.push_back(listed_path);
    return {};
  }
  if (auto written = write_file(listed_path, final_text); !written) {
    // Truncation has already happened when the write fails part-way (a full
    // disk, a file size limit); put the user's text back rather than leave a
    // cut-off file. The original failure is the one reported.
    (void)write_file(listed_path, source);
    return written;
  }
  return {};
}

CompactingFile::CompactingFile(FormattedFile file)
    : listed_path_(std::move(file.listed_path)),
      source_(std::move(file.source)),
      compaction_(std::move(file.formatted), static_cast<std::size_t>(file.width)),
      held_bytes_(source_.size() + compaction_.text_size()) {}

Status CompactingFile::complete(bool check, std::vector<std::string>& reformat_list) {
  return record_file(listed_path_, source_, compaction_.result(), check, reformat_list);
}

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

}  // namespace tersify::driver
