#include "main/run.h"

#include "discovery/source_files.h"

namespace tersify {

int run(const Settings& settings) {
  auto files = discovery::collect_source_files(settings.paths);
  (void)files;
  return 0;
}

}  // namespace tersify
