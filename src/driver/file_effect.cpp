#include "driver/file_effect.h"

#include <utility>

#include "driver/rustfmt_message.h"
#include "util/file_place.h"
#include "util/fs.h"
#include "util/in_place_write.h"
#include "util/paths.h"

namespace tersify::driver {
namespace {

// Times a file is handled at its turn before a run gives up on a file that
// keeps changing under it.
constexpr int max_turns = 3;

// Whether the file at `listed_path` is, without a doubt, still the one read
// for `file`, with the same text, within `roots`, when its effect is
// nothing: its final text is the text read, so that nothing is written and
// nothing is listed. Its state then shows any change since the read (a look
// instead of a second read); a file that is to change has its text compared
// in full, right before its write.
bool still_as_read(const std::string& listed_path, const ProcessedFile& file, const EffectOptions& options) {
  if (!file.state || file.final.text != file.source) return false;
  return file_state_within(listed_path, options.roots, options.working_folder) == file.state;
}

}  // namespace

Result<void, ReplaceError> write_or_list(const std::string& listed_path, const ProcessedFile& file, bool check,
                                         ReformatList& reformat_list, std::span<const std::string> roots) {
  if (file.final.text == file.source) return {};

  if (check) {
    if (reformat_list.keep_texts) {
      reformat_list.files.push_back({listed_path, file.source, file.final.text});
    } else {
      reformat_list.files.push_back({listed_path, {}, {}});
    }
    return {};
  }
  return replace_read_file(listed_path, file.final.text, file.identity, file.source, roots);
}

Status FileEffects::commit_effect(const std::string& listed_path, const Result<FileSettings>& settings,
                                  Result<ProcessedFile> outcome, bool read_ahead) {
  if (read_ahead && outcome && !still_as_read(listed_path, *outcome, options_)) {
    // The file may have changed since it was read ahead of its turn (the
    // user saved it, or removed it), or its path may lead to another file
    // now: its result is then out of date.
    auto now = read_regular_text(listed_path, options_.roots);
    if (!now) {
      outcome = fail(std::move(now).error());
    } else if (now->text != outcome->source || now->identity != outcome->identity) {
      outcome = process_file(SourceText{std::move(now->text), now->identity, now->state}, *settings, pipeline_);
    }
  }
  for (int turn = 1;; ++turn) {
    if (!outcome) return fail(file_failure(listed_path, outcome.error()));
    auto done = write_or_list(listed_path, *outcome, options_.check, reformat_list_, options_.roots);
    if (done) break;
    if (!done.error().changed) return fail(file_failure(listed_path, done.error().message));
    if (turn == max_turns) {
      return fail(file_failure(listed_path, "kept changing while it was formatted; it is left as it is"));
    }
    outcome = process_file(listed_path, settings, pipeline_, options_.roots);
  }
  ++counts_.files;
  if (outcome->cached) ++counts_.cache_hits;
  if (outcome->final.passes > 1) {
    ++counts_.settled_files;
    counts_.extra_passes += static_cast<std::uint64_t>(outcome->final.passes - 1);
  }
  if (options_.on_effect) options_.on_effect(listed_path, outcome->final.text != outcome->source);
  remember_final_text(*outcome, *settings, pipeline_.cache);
  return {};
}

void InterruptedWrites::undo_before_reading(const std::string& listed_path, const PathEntry& entry,
                                            const Result<FileSettings>& settings) {
  // A file that is not a link lies in the folder its path names: once that
  // folder, as named, was seen, the file's needs nothing more.
  auto named = parent_path(listed_path);
  bool plain = named && entry.present && !entry.link;
  if (plain && named_folders_.contains(*named)) return;
  std::optional<std::string> folder;
  if (plain && entry.kind == FileKind::regular && settings) {
    folder = settings->folder;
  } else if (auto canonical = canonical_path(listed_path)) {
    folder = parent_path(*canonical);
  } else {
    return;
  }
  if (plain) named_folders_.insert(*named);
  if (folder && folders_.insert(*folder).second) recover_in_place_writes(*folder);
}

}  // namespace tersify::driver
