#pragma once
// Replacing the whole contents of a file so that nothing is lost: whatever
// ends the process, and whichever write fails (a full disk, a file size
// limit), the file holds either its old contents or the new ones.

#include <string>
#include <string_view>

#include "util/result.h"

namespace tersify {

// Gives the file at `path` the contents `contents`, creating it when it is
// missing. The text goes into a temporary file in the same folder, which is
// then renamed over the file, with the file's mode bits, and its owner and
// group where the process may set them (the temporary file has no name
// while it is written, where the file system allows). A symbolic link stays
// as it is and the file it names is replaced. Where a rename would lose what the user has
// (a file with several hard links) or can't be done (a folder the process may not write), the file is written in
// place with the termination signals held back until the write, or the
// restore of the old contents after a failed write, is complete. No
// temporary file is left behind on any path. Fails with the I/O error text,
// or with "not a regular file" for anything else that is at `path`.
Status replace_file(const std::string& path, std::string_view contents);

}  // namespace tersify
