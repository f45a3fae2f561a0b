#pragma once
// The run over the file list: every file through the pipeline
// (driver/process_file.h), up to `jobs` of them in flight at once, while
// their effects (driver/file_effect.h) come exactly as if the files were
// handled one after the other.

#include <cstddef>
#include <string>
#include <vector>

#include "driver/file_effect.h"
#include "driver/file_settings.h"
#include "driver/process_file.h"
#include "util/result.h"

namespace tersify::driver {

// The text (as read and as finished) that files done out of turn may hold
// while they wait for the ones before them.
inline constexpr std::size_t max_waiting_bytes = std::size_t{64} << 20;

// Puts every file of `files` through the pipeline and commits its effect.
// Effects come strictly in list order; the first failure stops the run
// before anything after its file takes effect, and only after everything
// before it did; a file that is the same as one still in flight (listed
// twice, or through a link) is read only after that one's effect. Each
// file's settings are looked up on this thread in list order (so that
// cargo metadata runs in list order), and before any file of a folder is
// read, what an in-place write cut short there left is undone. With more
// than one job, or a formatter that takes several texts at once, files are
// worked on by `jobs` worker threads, each taking up to
// Formatter::texts_at_once files at a time; a failure cancels the work in
// flight (rustfmt children killed, compaction stopped between its steps)
// and joins the workers before it is returned. Otherwise everything runs on
// this thread, one file after the other: the plain pipeline. Gives the line
// to print for the first failure.
Status process_in_list_order(const std::vector<std::string>& files, unsigned jobs, SettingsLookup& settings,
                             const Pipeline& pipeline, FileEffects& effects);

}  // namespace tersify::driver
