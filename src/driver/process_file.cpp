#include "driver/process_file.h"

#include <utility>

#include "util/fs.h"
#include "util/paths.h"

namespace tersify::driver {

Result<ProcessedFile> process_file(const std::string& listed_path,
                                   const std::function<Result<FileSettings>()>& settings, bool check, Rustfmt& rustfmt,
                                   const Cancellation* cancel) {
  auto source = read_text_file(listed_path);
  if (!source) return fail(std::move(source).error());
  auto file = settings();
  if (!file) return fail(std::move(file).error());

  int cancel_fd = cancel != nullptr ? cancel->fd() : -1;
  Formatter format = [&](std::string_view text) { return rustfmt.format(text, file->edition, file->width, cancel_fd); };
  // Write mode settles, so that a --check after a write finds nothing.
  auto final = final_text(*source, static_cast<std::size_t>(file->width), !check, format, cancel);
  if (!final) return fail(std::move(final).error());
  return ProcessedFile{std::move(*source), std::move(*final)};
}

Status record_file(const std::string& listed_path, const std::string& source, const std::string& final_text, bool check,
                   std::vector<std::string>& reformat_list) {
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
