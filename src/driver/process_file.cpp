#include "driver/process_file.h"

#include <unistd.h>

#include <cerrno>

#include "compact/compact.h"
#include "driver/formatter_settings.h"
#include "driver/rustfmt.h"
#include "util/fs.h"
#include "util/io_error.h"
#include "util/paths.h"

namespace tersify::driver {
namespace {

Status write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(io_error_text(errno));
    }
    if (n == 0) return fail("failed to write whole buffer");
    data.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

}  // namespace

Status process_file(const std::string& listed_path, bool check, std::optional<std::uint64_t> width_override,
                    EditionMap& editions, std::vector<std::string>& reformat_list) {
  auto source = read_text_file(listed_path);
  if (!source) return fail(std::move(source).error());

  auto edition = edition_for(listed_path, editions);
  if (!edition) return fail(std::move(edition).error());

  std::uint64_t width = width_override ? *width_override : max_width_for(listed_path);

  auto formatted = run_rustfmt(*source, *edition, width);
  if (!formatted) return fail(std::move(formatted).error());

  std::string final_text = compact::compact(*formatted, static_cast<std::size_t>(width));
  if (final_text == *source) return {};

  if (check) {
    reformat_list.push_back(listed_path);
    return {};
  }
  if (auto written = write_file(listed_path, final_text); !written) {
    // Truncation has already happened when the write fails part-way (a full
    // disk, a file size limit); put the user's text back rather than leave a
    // cut-off file. The original failure is the one reported.
    (void)write_file(listed_path, *source);
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
