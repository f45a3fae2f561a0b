// The client side of the fork server: starting the program with the preload
// library, the hello, requests and the runs' reports.
//
// The preload library lives in a close-on-exec memfd, and the server finds
// it as /proc/self/fd/N. That descriptor and the server's socket end reach
// the server alone (spawn_registered's inherited descriptors). On a glibc
// older than 2.29 the server gets no socket and never says hello, so the
// caller falls back to plain starts.

#include "fork_server/fork_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <mutex>

#include "fork_server/preload_image.h"
#include "fork_server/protocol.h"
#include "util/child_registry.h"
#include "util/fatal.h"
#include "util/io_error.h"
#include "util/spawn.h"
#include "util/spawn_setup.h"

extern char** environ;

namespace tersify {
namespace {

using Clock = std::chrono::steady_clock;

enum class Readiness { waiting, ready, failed };

// How long a server that said hello gets to kill and reap its runs after
// its socket closed, before it is killed itself.
constexpr std::chrono::milliseconds shutdown_grace{2000};

Result<Fd> preload_library() {
  auto image = fork_server_preload_image();
  Fd library(::memfd_create("tersify-fork-server", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (!library.valid()) return fail(io_error_text(errno));
  for (size_t done = 0; done < image.size();) {
    ssize_t n = ::write(library.get(), image.data() + done, image.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail(io_error_text(n < 0 ? errno : EIO));
    done += static_cast<size_t>(n);
  }
  // Sealed, so that no process that inherits it can change what later
  // servers load. Refused seals cost nothing but that.
  (void)::fcntl(library.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
  if (!lift_above_standard_streams(library)) return fail(io_error_text(errno));
  return library;
}

bool is_variable(std::string_view entry, std::string_view name) {
  return entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=';
}

// Our environment with the server's variables. A user's LD_PRELOAD keeps its
// place, behind the preload library, and its value is passed on so that the
// server can give it back to main.
std::vector<std::string> server_environment(int socket_fd, int library_fd, std::string_view marker) {
  const std::string_view ours[] = {TERSIFY_FS_ENV_SOCKET, TERSIFY_FS_ENV_MARKER, TERSIFY_FS_ENV_LIBRARY,
                                   TERSIFY_FS_ENV_USER_PRELOAD};
  std::string library = "/proc/self/fd/" + std::to_string(library_fd);
  std::vector<std::string> env;
  bool had_preload = false;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view text(*entry);
    if (!had_preload && is_variable(text, "LD_PRELOAD")) {
      had_preload = true;
      std::string_view user = text.substr(std::strlen("LD_PRELOAD="));
      env.push_back("LD_PRELOAD=" + library + (user.empty() ? "" : ":") + std::string(user));
      env.push_back(TERSIFY_FS_ENV_USER_PRELOAD "=" + std::string(user));
      continue;
    }
    bool stale = false;
    for (auto name : ours) stale = stale || is_variable(text, name);
    if (!stale) env.emplace_back(text);
  }
  if (!had_preload) env.push_back("LD_PRELOAD=" + library);
  env.push_back(TERSIFY_FS_ENV_SOCKET "=" + std::to_string(socket_fd));
  env.push_back(TERSIFY_FS_ENV_MARKER "=" + std::string(marker));
  env.push_back(TERSIFY_FS_ENV_LIBRARY "=" + std::to_string(library_fd));
  return env;
}

// Waits up to `limit` for the child `pid` to end, without reaping it.
void await_end(pid_t pid, std::chrono::milliseconds limit) {
#ifdef SYS_pidfd_open
  Fd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
  if (!pidfd.valid()) return;
  auto deadline = Clock::now() + limit;
  pollfd watched{pidfd.get(), POLLIN, 0};
  for (auto left = limit; left.count() > 0;
       left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())) {
    if (::poll(&watched, 1, static_cast<int>(left.count())) >= 0 || errno != EINTR) return;
  }
#else
  (void)pid;
  (void)limit;
#endif
}

ServedError broken(std::string message) { return ServedError{ServedError::Kind::broken, std::move(message)}; }

}  // namespace

struct ForkServer::State {
  pid_t pid = -1;
  Fd socket;
  std::mutex hello_mutex;  // one thread at a time waits for the hello
  std::atomic<Readiness> readiness{Readiness::waiting};
};

ForkServer::ForkServer(std::unique_ptr<State> state) : state_(std::move(state)) {}
ForkServer::ForkServer(ForkServer&& other) noexcept = default;

ForkServer& ForkServer::operator=(ForkServer&& other) noexcept {
  if (this != &other) {
    stop();
    state_ = std::move(other.state_);
  }
  return *this;
}

ForkServer::~ForkServer() { stop(); }

pid_t ForkServer::pid() const { return state_ ? state_->pid : -1; }

Result<ForkServer> ForkServer::start(const Program& program, const std::vector<std::string>& args,
                                     std::string_view marker, const std::string& working_directory) {
  auto library = preload_library();
  if (!library) return fail(std::move(library).error());
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return fail(io_error_text(errno));
  Fd ours(ends[0]);
  Fd theirs(ends[1]);
  if (!lift_above_standard_streams(theirs)) return fail(io_error_text(errno));

  std::vector<std::string> environment = server_environment(theirs.get(), library->get(), marker);
  auto pid =
      spawn_registered({program, args, &environment, -1, -1, -1, {theirs.get(), library->get()}, working_directory});
  if (!pid) return fail(io_error_text(pid.error()));

  auto state = std::make_unique<State>();
  state->pid = *pid;
  state->socket = std::move(ours);
  return ForkServer(std::move(state));
}

bool ForkServer::wait_ready(std::chrono::milliseconds timeout) {
  State& state = *state_;
  std::lock_guard lock(state.hello_mutex);
  if (state.readiness != Readiness::waiting) return state.readiness == Readiness::ready;
  auto deadline = Clock::now() + timeout;
  Readiness outcome = Readiness::failed;
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd watched{state.socket.get(), POLLIN, 0};
    int polled = ::poll(&watched, 1, static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX)));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) break;
    tersify_fs_record hello{};
    ssize_t n = ::recv(state.socket.get(), &hello, sizeof hello, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    // The hello must come from the process we started: one that forked
    // its server off could not be killed through the pid we know.
    if (n == sizeof hello && hello.magic == TERSIFY_FS_MAGIC && hello.kind == TERSIFY_FS_HELLO &&
        hello.value == state.pid) {
      outcome = Readiness::ready;
    }
    break;
  }
  state.readiness = outcome;
  return outcome == Readiness::ready;
}

Result<ServedChild> ForkServer::spawn(int in, int out, int err, int folder) {
  State& state = *state_;
  if (state.readiness != Readiness::ready) return fail("the fork server is not ready");
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return fail(io_error_text(errno));
  Fd channel(ends[0]);
  Fd theirs(ends[1]);

  Fd here;
  if (folder < 0) {
    here.reset(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!here.valid()) return fail(io_error_text(errno));
    folder = here.get();
  }

  tersify_fs_record request{TERSIFY_FS_MAGIC, TERSIFY_FS_REQUEST, 0, 0};
  const int fds[TERSIFY_FS_REQUEST_FDS] = {in, out, err, theirs.get(), folder};
  iovec part{&request, sizeof request};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof fds)] = {};
  msghdr message{};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof fds);
  std::memcpy(CMSG_DATA(header), fds, sizeof fds);
  // One record on a SOCK_SEQPACKET socket: requests of several threads can't
  // interleave, so no lock is needed.
  while (::sendmsg(state.socket.get(), &message, MSG_NOSIGNAL) < 0) {
    if (errno == EINTR) continue;
    int e = errno;
    state.readiness = Readiness::failed;
    return fail(io_error_text(e));
  }
  return ServedChild(std::move(channel));
}

void ForkServer::stop() {
  if (!state_) return;
  bool served = state_->readiness == Readiness::ready;
  // A server sees the end of its socket, kills and reaps its runs and ends;
  // anything else (a program that passed through) is killed at once.
  state_->socket.reset();
  pid_t pid = state_->pid;
  if (served) await_end(pid, shutdown_grace);
  ::kill(pid, SIGKILL);
  (void)reap_child(pid);
  state_.reset();
}

Result<int, ServedError> ServedChild::wait(int cancel_fd) {
  if (!channel_.valid()) internal_error("a served child was waited for twice");
  tersify_fs_record record{};
  auto* bytes = reinterpret_cast<char*>(&record);
  size_t have = 0;
  while (have < sizeof record) {
    pollfd watched[2] = {{channel_.get(), POLLIN, 0}, {cancel_fd, POLLIN, 0}};
    if (::poll(watched, cancel_fd >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      channel_.reset();
      return fail(broken(io_error_text(e)));
    }
    if (cancel_fd >= 0 && watched[1].revents != 0) {
      return fail(ServedError{ServedError::Kind::cancelled, "cancelled"});
    }
    ssize_t n = ::read(channel_.get(), bytes + have, sizeof record - have);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      int e = errno;
      channel_.reset();
      return fail(broken(n == 0 ? "the fork server ended before the run did" : io_error_text(e)));
    }
    have += static_cast<size_t>(n);
  }
  channel_.reset();
  if (record.magic == TERSIFY_FS_MAGIC && record.kind == TERSIFY_FS_STATUS) return record.value;
  if (record.magic == TERSIFY_FS_MAGIC && record.kind == TERSIFY_FS_FORK_FAILED) {
    return fail(broken("the fork server could not fork: " + io_error_text(record.value)));
  }
  return fail(broken("the fork server sent an unknown record"));
}

}  // namespace tersify
