#pragma once
// Where a file lies, found once so that later steps work on exactly that
// file: its folder, held open, and its name there. The path is resolved
// once (a symbolic link at its end is followed, as the user set it up) and
// checked against the folders it must lie within; from then on the file is
// reached relative to the open folder without following a link, so a name
// swapped for a link in the meantime can't redirect a read or a write.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "util/fd.h"
#include "util/fs.h"
#include "util/result.h"

namespace tersify {

struct FilePlace {
  Fd folder;         // open for reading
  std::string name;  // the file's name in `folder`
  std::string path;  // the canonical path of the file, for messages
  bool linked;       // found through a symbolic link at the path's end
};

// The place of the file at `path`, which need not exist: a symbolic link
// leads to the file it names, anything else is the entry of that name in the
// canonical folder of `path`. With `roots` (canonical paths), the file must
// lie within one of them, and so must the folder as opened (checked again
// through /proc/self/fd where it is mounted, in case a folder on the way was
// swapped for a link after the path was resolved). Fails with the I/O error
// text of the resolution or with "leads to {path}, outside the paths given".
Result<FilePlace> find_file_place(const std::string& path, std::span<const std::string> roots = {});

// A regular file's text and which file it was.
struct ReadText {
  std::string text;
  FileIdentity identity;
  // The file's state as it was read, when a later change is sure to show in
  // it (file_state_tells_changes); none otherwise.
  std::optional<FileState> state;
};

// Reads the file at `path` (found by find_file_place) as UTF-8 text. Only a
// regular file is read, and the open never blocks: a FIFO or a device fails
// with "not a regular file", a folder with EISDIR's text. Fails otherwise
// with find_file_place's message, the I/O error text, or
// "stream did not contain valid UTF-8".
Result<ReadText> read_regular_text(const std::string& path, std::span<const std::string> roots = {});

// The state of the file that `path` leads to now (following links, as a read
// would), when it lies within `roots` as opened (anywhere when none are
// given); none when it lies elsewhere or can't be looked at. What tells,
// without reading it, that a file read earlier is still the one its path
// leads to, as it was. A relative `path` starts from `working_folder`, the
// canonical working folder, when given: a path that leads through no link
// is then known to lie where it is spelled, without asking the kernel.
std::optional<FileState> file_state_within(const std::string& path, std::span<const std::string> roots = {},
                                           std::string_view working_folder = {});

// read_regular_text for files read one after another, such as a group of a
// folder's files: the folder of the last file stays open, and a file named
// in the same folder (as its path names it) that is not a symbolic link is
// opened there, without the folder being resolved and checked again. The
// file itself must still lie within the roots.
class RegularTextReader {
 public:
  // `roots` must outlive the reader.
  explicit RegularTextReader(std::span<const std::string> roots) : roots_(roots) {}

  Result<ReadText> read(const std::string& path);

 private:
  std::span<const std::string> roots_;
  std::string named_folder_;         // the last place's folder as its path named it
  std::optional<FilePlace> place_;   // the last file's place
};

}  // namespace tersify
