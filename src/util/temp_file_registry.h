#pragma once
// The temporary files being written right now, and the scratch folders in
// use, kept where a signal handler can reach them: a process ended by a
// signal or an internal error removes them rather than leave them behind.

#include <string>

namespace tersify {

// Notes the file `name` in the open folder `folder` as a temporary file that
// must not outlive the process; the folder must stay open until the file is
// forgotten. Gives a slot number for forget_temp_file, or -1 when the name
// can't be noted (too long, or every slot is taken); the caller must then not
// create it.
int note_temp_file(int folder, const std::string& name);

// Forgets the file of `slot` (-1: nothing), once it was renamed or removed.
void forget_temp_file(int slot);

// Notes `path` as a temporary folder whose files and itself must not
// outlive the process; the same rules as for note_temp_file.
int note_temp_folder(const std::string& path);
void forget_temp_folder(int slot);

// Removes every noted file, and every noted folder with the files in it.
// Async-signal-safe.
void remove_noted_temp_files();

}  // namespace tersify
