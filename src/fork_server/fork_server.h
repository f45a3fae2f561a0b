#pragma once
// A fork server for a program that is costly to start: the program is
// started once with a preload library (src/fork_server/preload.c), stops just
// before its main, and for every request forks a child that runs the real
// main on the request's standard streams. A run is then an exact copy of a
// fresh start at the moment main would run: same output, messages and wait
// status, without paying for the loader and the static constructors again.
//
// The program's arguments are fixed when the server starts (a Rust program
// reads them before main), so there is one server per argument list. Each
// run enters the working directory that its request names.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/fd.h"
#include "util/program_path.h"
#include "util/result.h"

namespace tersify {

struct ServedError {
  enum class Kind {
    broken,     // the server ended or could not fork: the run has no status
    cancelled,  // the caller's cancel descriptor became readable
  };
  Kind kind;
  std::string message;
};

// One request's run, owned through its channel to the server. Move-only.
// Destroying it while the run goes on makes the server kill the run.
class ServedChild {
 public:
  ServedChild(ServedChild&&) noexcept = default;
  ServedChild& operator=(ServedChild&&) noexcept = default;
  ServedChild(const ServedChild&) = delete;
  ServedChild& operator=(const ServedChild&) = delete;
  ~ServedChild() = default;

  // Waits for the run's raw wait status (as waitpid gives it). With
  // `cancel_fd` (-1: none), gives Kind::cancelled as soon as that descriptor
  // is readable; the run then goes on until the object goes or wait() is
  // called again. After a status or a broken server, the object holds
  // nothing and must not be waited for again.
  Result<int, ServedError> wait(int cancel_fd = -1);

  // Readable once wait() would not block, for a caller's own poll loop; -1
  // once the run was waited for.
  int fd() const { return channel_.get(); }

 private:
  friend class ForkServer;
  explicit ServedChild(Fd channel) : channel_(std::move(channel)) {}
  Fd channel_;
};

// A started server. Move-only. Destroying it closes the request socket,
// which makes the server kill and reap its runs and end; it is then reaped
// (after SIGKILL if it takes too long), so that nothing outlives its owner.
class ForkServer {
 public:
  // Starts `program` as a plain start would (found on its search path,
  // argv[0] its name, then `args`; in `working_directory` (empty: ours); the
  // environment plus the server's variables; SIGPIPE and SIGXFSZ at their
  // defaults), with its standard streams on the null device. It serves only
  // when a loaded shared object's file name contains `marker`. Does not wait
  // for the server to be ready.
  //
  // The server dies (PR_SET_PDEATHSIG) when the thread that started it ends,
  // not only the process: call this from a thread that lives as long as the
  // server is used.
  static Result<ForkServer> start(const Program& program, const std::vector<std::string>& args, std::string_view marker,
                                  const std::string& working_directory = {});

  ForkServer(ForkServer&& other) noexcept;
  ForkServer& operator=(ForkServer&& other) noexcept;
  ForkServer(const ForkServer&) = delete;
  ForkServer& operator=(const ForkServer&) = delete;
  ~ForkServer();

  // The server's process id, for cleanup on a fatal signal. Its runs end
  // with it (PR_SET_PDEATHSIG).
  pid_t pid() const;

  // Waits up to `timeout` for the server's hello. False when it did not
  // come in time or the program ended (or passed through) first; once false,
  // stays false. Thread-safe.
  bool wait_ready(std::chrono::milliseconds timeout);

  // Starts one run on the given standard streams in the directory open at
  // `folder` (O_PATH is enough; -1: our working directory). They stay the
  // caller's: close them after
  // this returns, so that the run alone holds the pipes. Fails when the
  // server is not ready or gone; the caller then starts the program plainly.
  // Thread-safe.
  Result<ServedChild> spawn(int in, int out, int err, int folder = -1);

 private:
  struct State;
  explicit ForkServer(std::unique_ptr<State> state);
  void stop();

  std::unique_ptr<State> state_;
};

}  // namespace tersify
