// Editors keep their buffer unless the formatter succeeds, and they read
// standard output as the whole new text: so standard output is written once,
// with the complete result, and every failure is status 2 with nothing there.

#include "main/filter_run.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "driver/edition.h"
#include "driver/final_text.h"
#include "driver/formatter_settings.h"
#include "driver/rustfmt.h"
#include "util/fs.h"
#include "util/io_error.h"
#include "util/text.h"

namespace tersify {
namespace {

constexpr int failure_status = 2;
constexpr std::string_view input_name = "<stdin>";

int report_failure(std::string line) {
  line.push_back('\n');
  // With standard error gone too, the status still tells.
  (void)write_all(STDERR_FILENO, line);
  return failure_status;
}

// The text for `source` as if it were a file in the working directory: its
// edition and width come from there unless the command line gives them.
// Fails with the message to print after the input's name.
Result<std::string> filtered_text(std::string_view source, const FilterSettings& settings) {
  std::string edition;
  if (settings.edition) {
    edition = *settings.edition;
  } else {
    driver::EditionMap editions;
    auto found = driver::edition_for_directory(".", editions);
    if (!found) return fail(std::move(found).error());
    edition = std::move(*found);
  }
  std::uint64_t width = settings.width ? *settings.width : driver::max_width_for_directory(".");

  // Settled as in write mode: the result is what cargo tersify writes.
  auto format = [&](std::string_view text) { return driver::run_rustfmt(text, edition, width); };
  auto final = driver::final_text(source, static_cast<std::size_t>(width), /*settle=*/true, format);
  if (!final) return fail(std::move(final).error());
  return std::move(final->text);
}

}  // namespace

int run_filter(const FilterSettings& settings) {
  auto source = read_all(STDIN_FILENO);
  if (!source) return report_failure(std::string(input_name) + ": " + source.error());
  if (!is_valid_utf8(*source)) return report_failure(std::string(input_name) + ": " + invalid_utf8_text);

  auto text = filtered_text(*source, settings);
  if (!text) return report_failure(std::string(input_name) + ": " + text.error());

  if (auto written = write_all(STDOUT_FILENO, *text); !written) {
    return report_failure("standard output: " + written.error());
  }
  return 0;
}

}  // namespace tersify
