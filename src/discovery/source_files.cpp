#include "discovery/source_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include "util/fd.h"
#include "util/fs.h"
#include "util/io_error.h"
#include "util/paths.h"
#include "util/text.h"

namespace tersify::discovery {
namespace {

using DirId = std::pair<dev_t, ino_t>;

bool has_rs_extension(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  return name.substr(dot + 1) == "rs";
}

bool is_skipped_directory_name(std::string_view name) {
  if (!is_valid_utf8(name)) return false;
  return name == "target" || (name.size() >= 2 && name.front() == '.');
}

// What `cargo vendor` puts into every crate it copies: cargo checks the
// crate's files against the sums it holds, so a vendored crate is not the
// user's to format.
constexpr std::string_view checksum_file = ".cargo-checksum.json";

struct Walk {
  std::string root;  // the canonical path of the argument; as given when it can't be resolved
  bool root_resolved = false;
  std::vector<std::string>& list;
  std::vector<DirId> branch;  // the directories open from the argument down to here
  SearchedFolders* folders = nullptr;
};

// The folder at or above the argument `path` that holds a checksum_file,
// resolved; none when there is none.
std::optional<std::string> vendored_crate_of(const std::string& path, bool is_directory) {
  auto resolved = canonical_path(path);
  if (!resolved) return std::nullopt;
  std::string folder = is_directory ? *resolved : parent_path(*resolved).value_or("/");
  for (const auto& candidate : path_candidates(folder)) {
    struct stat st;
    if (::lstat(join_path(candidate, checksum_file).c_str(), &st) == 0) return candidate;
  }
  return std::nullopt;
}

// An entry of a directory, with its type as the directory tells it
// (DT_UNKNOWN where the file system does not).
struct Entry {
  std::string name;
  unsigned char type = DT_UNKNOWN;
};

// The entries of the directory `path`, "." and ".." left out.
Result<std::vector<Entry>> entries_of(const std::string& path) {
  DirHandle dir(::opendir(path.c_str()));
  if (!dir) return fail(about_path(path, io_error_text(errno)));
  std::vector<Entry> entries;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      if (errno != 0) return fail(about_path(path, io_error_text(errno)));
      return entries;
    }
    std::string_view name(entry->d_name);
    if (name != "." && name != "..") entries.push_back({std::string(name), entry->d_type});
  }
}

// A directory being searched: its entries, the next one to look at, and
// its canonical path when known (empty otherwise).
struct Searching {
  std::string path;
  std::string canonical;
  std::vector<Entry> entries;
  std::size_t next = 0;
};

// What look_at gives when there is no directory to search there.
Result<std::optional<Searching>> nothing() { return std::optional<Searching>(); }

// Looks at what is at `path`: lists a file, or gives a directory to search
// (already on the branch), or nothing. `canonical_parent`: the canonical
// path of the folder `path` lies in, when known (empty otherwise).
Result<std::optional<Searching>> look_at(const std::string& path, bool is_argument, const std::string& canonical_parent,
                                         Walk& state) {
  struct stat st;
  if (path.find('\0') != std::string::npos) {
    if (!is_argument) return nothing();
    return fail(about_path(path, io_error_text(EINVAL)));
  }
  // Below the argument an entry is looked at as it is first: a link is
  // followed only when it leads to a place within the argument.
  bool linked = false;
  if (!is_argument) {
    if (::lstat(path.c_str(), &st) != 0) return nothing();  // gone since it was listed
    linked = S_ISLNK(st.st_mode);
  }
  if ((is_argument || linked) && ::stat(path.c_str(), &st) != 0) {
    // A dangling link, or an argument that is not there.
    if (!is_argument) return nothing();
    return fail(about_path(path, io_error_text(errno)));
  }
  if (is_argument && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
    if (auto crate = vendored_crate_of(path, S_ISDIR(st.st_mode))) {
      return fail(about_path(path, "part of the vendored crate " + display_path(*crate) + " (it holds " +
                                       std::string(checksum_file) +
                                       "): a change would break the checksums that cargo checks"));
    }
  }
  auto name = file_name(path);
  if (S_ISDIR(st.st_mode) && name && is_skipped_directory_name(*name)) return nothing();
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    // A FIFO or device named as an argument is listed, so that its turn
    // fails rather than the run passing over it.
    if (is_argument && name && has_rs_extension(*name)) state.list.push_back(path);
    return nothing();
  }
  std::string canonical;
  if (linked) {
    // A file or folder elsewhere on disk (a vendored copy, someone else's
    // file) is not ours to rewrite.
    auto target = canonical_path(path);
    if (!target || !lies_within(*target, state.root)) return nothing();
    canonical = std::move(*target);
  } else if (is_argument) {
    if (state.root_resolved) canonical = state.root;
  } else if (!canonical_parent.empty() && name) {
    canonical = join_path(canonical_parent, *name);
  }
  if (S_ISREG(st.st_mode)) {
    if (name && has_rs_extension(*name)) state.list.push_back(path);
    return nothing();
  }
  DirId id{st.st_dev, st.st_ino};
  if (std::find(state.branch.begin(), state.branch.end(), id) != state.branch.end()) return nothing();

  auto entries = entries_of(path);
  if (!entries) return fail(std::move(entries).error());
  if (!is_argument &&
      std::any_of(entries->begin(), entries->end(), [](const Entry& entry) { return entry.name == checksum_file; })) {
    return nothing();
  }
  state.branch.push_back(id);
  if (state.folders != nullptr && !canonical.empty()) state.folders->insert_or_assign(path, canonical);
  return std::optional<Searching>(Searching{path, std::move(canonical), std::move(*entries), 0});
}

// Depth first, in directory order, with a stack of the directories open on
// the branch.
Status walk(const std::string& argument, Walk& state) {
  std::vector<Searching> open;
  auto first = look_at(argument, true, {}, state);
  if (!first) return fail(std::move(first).error());
  if (*first) open.push_back(std::move(**first));
  while (!open.empty()) {
    Searching& folder = open.back();
    if (folder.next == folder.entries.size()) {
      state.branch.pop_back();
      open.pop_back();
      continue;
    }
    const Entry& entry = folder.entries[folder.next++];
    // A regular file that is not a link, as its directory says, needs no
    // look of its own: only its name decides.
    if (entry.type == DT_REG) {
      if (has_rs_extension(entry.name)) state.list.push_back(join_path(folder.path, entry.name));
      continue;
    }
    auto below = look_at(join_path(folder.path, entry.name), false, folder.canonical, state);
    if (!below) return fail(std::move(below).error());
    if (*below) open.push_back(std::move(**below));
  }
  return {};
}

Status search(const std::string& path, std::vector<std::string>& list, SearchedFolders* folders) {
  auto root = canonical_path(path);
  bool resolved = root.has_value();
  Walk state{resolved ? std::move(*root) : path, resolved, list, {}, folders};
  return walk(path, state);
}

}  // namespace

Status rs_files(const std::string& path, std::vector<std::string>& list) { return search(path, list, nullptr); }

Result<std::vector<std::string>> collect_source_files(const std::vector<std::string>& path_arguments,
                                                      SearchedFolders* folders) {
  std::vector<std::string> list;
  for (const auto& argument : path_arguments) {
    if (auto done = search(argument, list, folders); !done) return fail(std::move(done).error());
  }
  std::stable_sort(list.begin(), list.end(),
                   [](const std::string& a, const std::string& b) { return path_less(a, b); });
  return list;
}

}  // namespace tersify::discovery
