#include "util/upward_search.h"

#include <utility>
#include <vector>

namespace tersify {

std::optional<std::string> UpwardSearch::nearest(std::string_view path) {
  std::lock_guard lock(mutex_);
  // A folder without an answer of its own has its parent's: every folder
  // walked through takes the answer found.
  std::vector<std::string> walked;
  std::optional<std::string> answer;
  for (auto& candidate : path_candidates(path)) {
    if (auto known = known_.find(candidate); known != known_.end()) {
      answer = known->second;
      break;
    }
    answer = look_(candidate);
    walked.push_back(std::move(candidate));
    if (answer) break;
  }
  for (auto& folder : walked) known_.emplace(std::move(folder), answer);
  return answer;
}

}  // namespace tersify
