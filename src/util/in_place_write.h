#pragma once
// Writing a file in place, where a rename would lose what the file has (its
// other hard links, its owner), so that it is whole after any end of the
// process. The old text is first kept beside the file under a name nobody
// can guess, flushed to disk; then the file is overwritten and flushed, and
// the kept text removed. A write that fails puts the old text back at once;
// one cut short by SIGKILL (or a power loss) is undone by
// recover_in_place_writes, which a later run calls before it reads the
// folder's files.

#include <sys/stat.h>

#include <string>
#include <string_view>

#include "util/result.h"

namespace tersify {

// Writes `contents` over the regular file `file` (open for reading and
// writing), which is `name` in the open folder `folder`, holds `old` and
// has the status `st`. The termination signals are held back until the
// write, or the restore of the old text after a failed one, is done. A
// folder that may not be written gets no kept text; the write goes on with
// the signals held. Fails with the I/O error text; the file then holds its
// old text.
Status write_in_place(int folder, const std::string& name, int file, const struct stat& st, std::string_view old,
                      std::string_view contents);

// Looks in the folder `folder` for texts kept by processes that are gone,
// and where the file still holds a mixture of its old and new text (the
// write never finished) puts the old text back; then removes the kept text.
// A file changed since (it holds something else, or is another file now) is
// left as it is. Only regular files of this user with one link are taken
// for kept texts. Best effort.
void recover_in_place_writes(const std::string& folder);

}  // namespace tersify
