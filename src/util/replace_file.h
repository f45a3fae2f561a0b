#pragma once
// Replacing the whole contents of a file so that nothing is lost: whatever
// ends the process, and whichever write fails (a full disk, a file size
// limit), the file holds either its old contents or the new ones.

#include <span>
#include <string>
#include <string_view>

#include "util/fs.h"
#include "util/result.h"

namespace tersify {

// Gives the file at `path` the contents `contents`, creating it when it is
// missing. The text goes into a temporary file in the same folder, under a
// name nobody can guess, which is then renamed over the file, with the
// file's mode bits, owner and group (the temporary file has no name while it
// is written, where the file system allows). A symbolic link stays as it is
// and the file it names is replaced. Where a rename would lose what the file
// has (several hard links; an owner or group the process can't give a file)
// or can't be done (a folder the process may not write), the file is written
// in place (util/in_place_write.h). A file the process may not write is not
// written. No temporary file is left behind on any path. Fails with the I/O
// error text (EACCES's for a file the process may not write), or with "not
// a regular file" for anything else that is at `path`.
Status replace_file(const std::string& path, std::string_view contents);

struct ReplaceError {
  std::string message;
  // The path no longer leads to the file as it was read; nothing was touched.
  bool changed = false;
};

// replace_file for a file read before as `old` with the identity
// `identity`: the file is replaced only while `path` still leads, within
// `roots` (see find_file_place), to that same file holding that same text.
// Anything else (another file, a link swapped in, a changed text, no file)
// fails with `changed` set. The name is checked again right before the
// rename, which is made relative to the folder that was checked.
Result<void, ReplaceError> replace_read_file(const std::string& path, std::string_view contents,
                                             const FileIdentity& identity, std::string_view old,
                                             std::span<const std::string> roots = {});

}  // namespace tersify
