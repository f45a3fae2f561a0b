#pragma once
// One rustfmt run over several texts. Given files instead of
// standard input, rustfmt formats them one after the other in one process
// and prints each one's text after a line with the file's name and an empty
// line. A process per text costs more than the formatting of most texts, so
// this is how a run formats the texts it has at hand together.
//
// The texts go to a scratch folder, under names that hold a random token so
// that no text can contain them by chance. Out-of-line modules are left
// alone (each is a file of its own in the tool's list), and the
// configuration file is named on the command line: the one the tool found
// for the files, or for files without one an empty file in the scratch
// folder, so that rustfmt reads nothing that lies around the scratch folder
// (a shared $TMPDIR), whatever folder it runs in.
//
// A batch counts only when rustfmt succeeded and its output splits exactly
// into one text per name. Anything else (a file rustfmt passed over, such as
// one with a skip attribute on the whole file, a failure anywhere) gives
// nothing for its texts (driver/batched_rustfmt.h then formats each on its
// own), so that every result and message is exactly a single run's.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "driver/file_settings.h"
#include "fork_server/fork_server.h"
#include "util/program_path.h"

namespace tersify::driver {

// Texts per batch. A served batch always names this many files (its
// arguments are fixed when its server starts); unused ones are empty, and
// cost rustfmt next to nothing.
inline constexpr std::size_t batch_slots = 16;

// Whether rustfmt may pass over the text when it is given as a file: an
// inner skip attribute ("#![rustfmt::skip]", "#![cfg_attr(rustfmt,
// rustfmt_skip)]") would leave its whole batch without results, so such a
// text is better formatted alone. A rough look; a false alarm costs only
// time.
bool may_be_passed_over(std::string_view text);

// The names of a batch's files: "{token}-{i}.rs" for i below `count`.
std::vector<std::string> batch_names(std::string_view token, std::size_t count = batch_slots);

// The name of the empty configuration file in a batch's scratch folder.
std::string batch_config_name(std::string_view token);

// rustfmt's arguments for a batch of `files` (names or paths) with these
// settings: rustfmt_args without out-of-line modules, the configuration
// file, else `empty_config` (a name or path of the empty one), then the
// files.
std::vector<std::string> batch_args(const FileSettings& settings, const std::vector<std::string>& files,
                                    const std::string& empty_config);

// The text of each of `files` in the output of a batch run over them, or
// none when the output is not exactly each one's header ("{file}:" and an
// empty line) once and in order, followed by its text.
std::optional<std::vector<std::string>> split_batch_output(std::string_view output,
                                                           const std::vector<std::string>& files);

struct BatchResult {
  // The formatted text of each text where the batch gave it.
  std::vector<std::optional<std::string>> texts;
  bool server_lost = false;  // the server could not take or finish the run
  bool no_folder = false;    // the texts could not be written to a scratch folder
};

// What a run's batches share.
struct BatchSetup {
  Program rustfmt;
  std::string temp_folder;  // where their scratch folders go
  std::string token;        // random (util/random_token.h), in their files' names
};

// Formats up to batch_slots `texts` of equal `settings` in one rustfmt run:
// through `server` when given (started with batch_args(settings,
// batch_names(token), batch_config_name(token))), else a plain start in the
// settings' folder. With `cancel_fd` (-1: none), stops once it is readable
// and gives nothing.
BatchResult run_batch(const BatchSetup& setup, std::span<const std::string_view> texts, const FileSettings& settings,
                      ForkServer* server, int cancel_fd);

}  // namespace tersify::driver
