#pragma once
// The temporary files being written right now, kept where a signal handler
// can reach them: a process ended by a signal or an internal error removes
// them rather than leave them next to the user's files.

#include <string>

namespace tersify {

// Notes `path` as a temporary file that must not outlive the process. Gives
// a slot number for forget_temp_file, or -1 when the path can't be noted
// (too long, or every slot is taken); the caller must then not create it.
int note_temp_file(const std::string& path);

// Forgets the file of `slot` (-1: nothing), once it was renamed or removed.
void forget_temp_file(int slot);

// Removes every noted file. Async-signal-safe.
void remove_noted_temp_files();

}  // namespace tersify
