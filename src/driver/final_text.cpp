#include "driver/final_text.h"

#include <utility>

#include "compact/compact.h"

namespace tersify::driver {

Result<FinalText> final_text(std::string_view source, std::size_t max_width, bool settle, const Formatter& format) {
  auto formatted = format(source);
  if (!formatted) return fail(std::move(formatted).error());
  FinalText result{compact::compact(*formatted, max_width), 1};
  if (!settle || result.text == source) return result;

  // `result` is what would be written so far: the newest text that rustfmt
  // has not rejected. `current` may be one run ahead of it.
  FinalText current = result;
  for (int pass = 0; pass < max_settling_passes; ++pass) {
    auto again = format(current.text);
    if (!again) return result;
    result = current;
    std::string next = compact::compact(*again, max_width);
    if (next == current.text) return result;
    current = {std::move(next), current.passes + 1};
  }
  return current;
}

}  // namespace tersify::driver
