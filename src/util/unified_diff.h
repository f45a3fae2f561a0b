#pragma once
// Unified diffs between two texts, line by line, as `diff -u` writes them, so
// that `patch` and `git apply` take them. Lines are compared with their line
// ends, so a CRLF line differs from the same line ending in LF, exactly as it
// does for patch; a last line without a line end is followed by
// "\ No newline at end of file".

#include <string>
#include <string_view>
#include <vector>

namespace tersify {

// Lines of context around each change, as diff -u and patch use by default.
inline constexpr std::size_t diff_context_lines = 3;

// The hunks that turn `old_text` into `new_text` ("@@ -a,b +c,d @@" headers,
// then " ", "-" and "+" lines), with `context` lines around each change;
// nothing when the texts are equal. The edit script comes from dtl's O(NP)
// diff.
std::string unified_hunks(std::string_view old_text, std::string_view new_text,
                          std::size_t context = diff_context_lines);

// A name for a file header line: as is, or, when it holds a space, a quote, a
// backslash, a control character or bytes that are not UTF-8, in double
// quotes with C escapes (octal for bytes outside printable ASCII), as git
// writes such names; patch and git apply read both forms.
std::string diff_header_name(std::string_view name);

// "--- {old_name}\n+++ {new_name}\n" and the hunks; nothing when the texts
// are equal.
std::string unified_diff(std::string_view old_name, std::string_view new_name, std::string_view old_text,
                         std::string_view new_text);

}  // namespace tersify
