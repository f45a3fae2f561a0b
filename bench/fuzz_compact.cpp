// libFuzzer target for the compaction pass.
//
// Input: the first byte chooses the maximum width (16 + byte, so 16 to 271)
// and, by its lowest two bits, the columns of a tab (1, 4, 0 or 2); the rest
// is the text. Inputs that are not valid UTF-8 are rejected, since the tool
// hands `compact` only valid UTF-8. For every accepted input the output must
// be byte for byte what the rounds that parse each text again give (the
// reference engine) and valid UTF-8; when the input parses without error it must
// also keep every token and literal (a "," may go before a "}") and parse
// without error. Text with syntax errors is only required not to crash:
// joining lines of broken code can legitimately glue tokens that rustfmt
// would never leave on separate lines.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "compact/compact.h"
#include "support/round_engine.h"
#include "token_sequence.h"
#include "util/text.h"

namespace {

[[noreturn]] void violation(std::string_view what, std::string_view input, std::string_view output) {
  std::fprintf(stderr, "compact: %.*s\n--- input ---\n%.*s\n--- output ---\n%.*s\n", static_cast<int>(what.size()),
               what.data(), static_cast<int>(input.size()), input.data(), static_cast<int>(output.size()),
               output.data());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return -1;
  const std::size_t width = 16 + std::size_t{data[0]};
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (!tersify::is_valid_utf8(text)) return -1;

  constexpr std::size_t tab_widths[] = {1, 4, 0, 2};
  const std::size_t tab_width = tab_widths[data[0] & 3];

  tersify::compact::Compaction compaction{std::string(text), width, tab_width};
  const std::string output = compaction.result();
  const std::string expected = tersify::reference::compact_in_rounds(text, width, tab_width);
  if (output != expected) {
    violation("differs from the reference engine at width " + std::to_string(width) + ", tab width " +
                  std::to_string(tab_width) + "; the reference gives:\n" + expected,
              text, output);
  }
  if (!tersify::is_valid_utf8(output)) violation("output is not valid UTF-8", text, output);

  const tersify::proof::TokenSummary before = tersify::proof::summarize_tokens(text);
  if (before.error_nodes != 0 || before.missing_nodes != 0) return 0;
  const tersify::proof::TokenSummary after = tersify::proof::summarize_tokens(output);
  const auto comparison = tersify::proof::compare_token_summaries(before, after);
  if (!comparison.violation.empty()) violation(comparison.violation, text, output);
  return 0;
}
