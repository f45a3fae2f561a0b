/* A stand-in named rustfmt for fork server fallback tests: an ELF program,
 * so the tool does start it as a server, that never says hello. Started as
 * a server (the socket variable is set), it either sleeps until it is
 * killed or ends at once, as SILENT_RUSTFMT_MODE says ("sleep" or "exit").
 * Started plainly, it becomes the real rustfmt named by REAL_RUSTFMT. */

#include <stdlib.h>
#include <unistd.h>

#include "fork_server/protocol.h"

int main(int argc, char** argv) {
  (void)argc;
  if (getenv(TERSIFY_FS_ENV_SOCKET) != NULL) {
    const char* mode = getenv("SILENT_RUSTFMT_MODE");
    if (mode != NULL && mode[0] == 'e') return 0;
    for (;;) pause();
  }
  const char* real = getenv("REAL_RUSTFMT");
  if (real == NULL) return 127;
  argv[0] = (char*)real;
  execv(real, argv);
  return 127;
}
