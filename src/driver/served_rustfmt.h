#pragma once
// Each text on standard input of a rustfmt run forked by a fork server
// (driver/rustfmt_servers.h) for its file's arguments, which gives what a
// fresh start gives without the start's cost. A text that no server takes
// (none could start, or it broke) goes to the `next` way.

#include "driver/formatter.h"
#include "driver/rustfmt_counts.h"
#include "driver/rustfmt_servers.h"

namespace tersify::driver {

class ServedRustfmt : public Formatter {
 public:
  ServedRustfmt(RustfmtServers& servers, Formatter& next, RustfmtCounts& counts)
      : servers_(servers), next_(next), counts_(counts) {}

  void format(std::span<const FormatRequest> requests, const Cancellation* cancel, const FormatDone& done) override;

 private:
  RustfmtServers& servers_;
  Formatter& next_;
  RustfmtCounts& counts_;
};

}  // namespace tersify::driver
