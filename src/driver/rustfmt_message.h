#pragma once
// What the tool says when rustfmt fails: rustfmt's own message, as it wrote
// it on standard error, with two changes that keep the message about the
// user's file: the warning of a stable rustfmt that it can't apply the
// configuration's `ignore` list (which the tool applies itself) is left
// out, and the diagnostics' "--> <stdin>:L:C" lines name the file.

#include <optional>
#include <string>
#include <string_view>

namespace tersify::driver {

// The first line of the message of a rustfmt that a signal ended, followed
// by the signal's number.
inline constexpr std::string_view killed_message_start = "rustfmt was killed by signal ";

// The message of a rustfmt run that did not succeed, from its standard
// error `err` (invalid UTF-8 replaced by U+FFFD, kept whole with its
// trailing newline, without the warning about `ignore`) and how it ended: a
// run that a signal ended starts with killed_message_start and the number,
// on a line of its own when `err` follows; a run that exited with nothing to
// say gives its exit status.
std::string rustfmt_failure_message(std::string_view err, std::optional<int> code, std::optional<int> signal);

// Whether `message` (of rustfmt_failure_message) tells that a signal ended
// rustfmt: it then says nothing about the text it was given.
bool tells_a_kill(std::string_view message);

// `message` with each diagnostic location line that points at "<stdin>"
// (" --> <stdin>:757:3", or "::: <stdin>:...") pointing at `shown_path`
// instead: the path the tool prints in front of the message, so that a
// terminal or editor can jump to it. Every other byte stays.
std::string naming_the_file(std::string_view message, std::string_view shown_path);

// The line to print for a failure of the file at `path`: about_path
// (util/paths.h) with the message naming the file.
std::string file_failure(std::string_view path, std::string_view message);

}  // namespace tersify::driver
