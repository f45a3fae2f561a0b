#pragma once
// The nearest of a path and the folders above it where something is found,
// remembered for every folder a search passes: a run that asks from many
// folders of one tree looks at each folder once, whatever its depth.

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "util/paths.h"

namespace tersify {

class UpwardSearch {
 public:
  // What a folder holds of what is looked for (say, the path of a file of
  // some name there), or none.
  using Look = std::function<std::optional<std::string>(const std::string& folder)>;

  explicit UpwardSearch(Look look) : look_(std::move(look)) {}
  UpwardSearch(const UpwardSearch&) = delete;
  UpwardSearch& operator=(const UpwardSearch&) = delete;

  // The first answer of `look` for `path`, its parent and so on
  // (path_candidates), or none when no folder has one. Folders are taken as
  // the path names them (lexically), and are looked at once per search
  // object: the answers stand for its life. Thread-safe.
  std::optional<std::string> nearest(std::string_view path);

 private:
  Look look_;
  std::mutex mutex_;
  std::map<std::string, std::optional<std::string>, PathLess> known_;  // folder to its nearest answer
};

}  // namespace tersify
