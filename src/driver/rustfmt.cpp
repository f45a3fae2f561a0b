#include "driver/rustfmt.h"

#include "util/random_token.h"

namespace tersify::driver {

Rustfmt::Rustfmt(const Environment& environment, RustfmtWays ways)
    : toolchains_(environment), fresh_(environment.program("rustfmt"), counts_), first_(&fresh_) {
  Program rustfmt = environment.program("rustfmt");
  if (!(ways.fork_server || ways.batches) || !rustfmt.is_elf()) return;
  if (ways.fork_server) {
    servers_.emplace(rustfmt, toolchains_, counts_);
    served_.emplace(*servers_, fresh_, counts_);
    first_ = &*served_;
  }
  if (ways.batches) {
    batched_.emplace(BatchSetup{rustfmt, environment.temp_folder, random_token()}, toolchains_,
                     servers_ ? &*servers_ : nullptr, *first_, counts_);
    first_ = &*batched_;
  }
}

Rustfmt::~Rustfmt() = default;

}  // namespace tersify::driver
