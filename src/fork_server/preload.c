/* A fork server loaded into a program with LD_PRELOAD.
 *
 * It interposes __libc_start_main. In a program that the client marked (its
 * socket variable is set and a loaded shared object's file name contains the
 * marker text) it replaces main with a server loop: the program's
 * constructors have run once, and every request forks a child that returns
 * into the real main on the request's standard streams, so each run is a
 * copy of a freshly started program without the start's cost. Any other
 * program (the rustup proxy that execs the real program, a wrapper, a
 * different tool) passes through untouched, variables and descriptors
 * included, so that whatever it execs can still be served.
 *
 * The program is started with empty arguments in every slot a run may
 * fill (protocol.h); a run's own arguments take their place before main.
 *
 * The server is single-threaded; runs end as SIGCHLD, which reaches the poll
 * loop through a self-pipe. Only libc and libdl are used: the library is
 * loaded into programs that bring nothing else (no sanitizer runtime). */

#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <link.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fork_server/protocol.h"

typedef int (*main_function)(int, char**, char**);
typedef int (*start_main_function)(main_function, int, char**, void (*)(void), void (*)(void), void (*)(void), void*);

/* The interposed entry. Its versions in glibc 2.34 and later (GLIBC_2.34 and
 * the older GLIBC_2.2.5 that binaries built on an older glibc reference) are
 * one function that still honours the legacy `init` argument, so forwarding
 * every argument unchanged to the default version serves both kinds. */
__attribute__((visibility("default"))) int __libc_start_main(main_function main, int argc, char** argv,
                                                             void (*init)(void), void (*fini)(void),
                                                             void (*rtld_fini)(void), void* stack_end);

struct run {
  pid_t pid;
  int channel;
  int abandoned; /* the client closed the channel: killed, not yet reaped */
};

static main_function real_main;
static int program_argc; /* as started: the name and the slots */
static char** program_argv;
static int run_argc;
static pid_t server_pid;
static int request_fd = -1;
static int library_fd = -1;
static int wake_pipe[2] = {-1, -1};
/* The request being read: its record, then its arguments. */
static char request_bytes[sizeof(struct tersify_fs_record) + TERSIFY_FS_ARGUMENT_BYTES];
static int full_exit;
static struct sigaction previous_sigchld;
static struct run* runs;
static size_t run_count;
static size_t run_capacity;

/* A descriptor number from a variable, or -1 when it is missing or not a
 * plain non-negative number. */
static int descriptor_from(const char* name) {
  const char* text = getenv(name);
  if (text == NULL || *text == '\0') return -1;
  char* end = NULL;
  errno = 0;
  long value = strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < 0 || value > 1 << 24) return -1;
  return (int)value;
}

static int name_contains_marker(struct dl_phdr_info* info, size_t size, void* marker) {
  (void)size;
  if (info->dlpi_name == NULL) return 0;
  const char* slash = strrchr(info->dlpi_name, '/');
  const char* base = slash != NULL ? slash + 1 : info->dlpi_name;
  return strstr(base, (const char*)marker) != NULL;
}

/* Whether this process is the one to serve. The socket's type is checked
 * too, so that a stale number can't turn an unrelated descriptor into one. */
static int chosen_to_serve(void) {
  const char* marker = getenv(TERSIFY_FS_ENV_MARKER);
  int fd = descriptor_from(TERSIFY_FS_ENV_SOCKET);
  if (marker == NULL || *marker == '\0' || fd < 0) return 0;
  int type = 0;
  socklen_t length = sizeof type;
  if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_SEQPACKET) return 0;
  if (!dl_iterate_phdr(name_contains_marker, (void*)(uintptr_t)marker)) return 0;
  request_fd = fd;
  library_fd = descriptor_from(TERSIFY_FS_ENV_LIBRARY);
  return 1;
}

/* Gives main the environment the client started with: our variables go and
 * LD_PRELOAD is the user's own again (or unset). Entries are removed from
 * environ in place so that the others keep their order. */
static void restore_environment(void) {
  full_exit = getenv(TERSIFY_FS_ENV_FULL_EXIT) != NULL;
  const char* user_preload = getenv(TERSIFY_FS_ENV_USER_PRELOAD);
  size_t prefix_length = strlen(TERSIFY_FS_ENV_PREFIX);
  char** kept = environ;
  for (char** entry = environ; *entry != NULL; ++entry) {
    if (strncmp(*entry, TERSIFY_FS_ENV_PREFIX, prefix_length) != 0) *kept++ = *entry;
  }
  *kept = NULL;
  if (user_preload != NULL) {
    setenv("LD_PRELOAD", user_preload, 1);
  } else {
    unsetenv("LD_PRELOAD");
  }
}

static void send_record(int fd, uint32_t kind, int32_t value) {
  struct tersify_fs_record record = {TERSIFY_FS_MAGIC, kind, value, 0};
  /* MSG_NOSIGNAL: a client that is gone must not end the server by SIGPIPE,
   * and no signal disposition changes for it. */
  (void)send(fd, &record, sizeof record, MSG_NOSIGNAL | MSG_DONTWAIT);
}

static void wake_on_sigchld(int signal_number) {
  (void)signal_number;
  int saved = errno;
  char byte = 0;
  (void)!write(wake_pipe[1], &byte, 1);
  errno = saved;
}

static int set_up_wakeups(void) {
  if (pipe2(wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = wake_on_sigchld;
  action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
  sigemptyset(&action.sa_mask);
  return sigaction(SIGCHLD, &action, &previous_sigchld);
}

/* Kills every run, reaps them, and ends the server. */
static void shut_down(void) {
  for (size_t i = 0; i < run_count; ++i) kill(runs[i].pid, SIGKILL);
  for (size_t i = 0; i < run_count; ++i) {
    while (waitpid(runs[i].pid, NULL, 0) < 0 && errno == EINTR) {
    }
  }
  _exit(0);
}

static void reap_ended_runs(void) {
  char drained[64];
  while (read(wake_pipe[0], drained, sizeof drained) > 0) {
  }
  int status = 0;
  pid_t pid;
  while ((pid = waitpid(-1, &status, WNOHANG)) > 0) {
    for (size_t i = 0; i < run_count; ++i) {
      if (runs[i].pid != pid) continue;
      send_record(runs[i].channel, TERSIFY_FS_STATUS, status);
      close(runs[i].channel);
      runs[i] = runs[--run_count];
      break;
    }
  }
}

/* An abandoned channel means the client no longer waits for the run: it was
 * cancelled, or the client died. The run can't have been reaped yet, so its
 * pid still names it. */
static void kill_abandoned_run(struct run* run) {
  kill(run->pid, SIGKILL);
  run->abandoned = 1;
}

static void end_at_once(int status, void* unused) {
  (void)unused;
  fflush(NULL);
  _exit(status);
}

/* Whether `bytes` hold exactly `count` strings, each ended by a NUL byte,
 * that fit the program's argument slots. */
static int valid_arguments(const char* bytes, size_t size, uint32_t count) {
  if (program_argc < 1 || count > (uint32_t)(program_argc - 1)) return 0;
  size_t ends = 0;
  for (size_t i = 0; i < size; ++i) ends += bytes[i] == '\0';
  return ends == count && (size == 0 || bytes[size - 1] == '\0');
}

/* Puts the run's `count` arguments in `bytes` in the slots, ended by a null
 * pointer (argv[program_argc] is one already). */
static void take_arguments(char* bytes, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    program_argv[1 + i] = bytes;
    bytes += strlen(bytes) + 1;
  }
  program_argv[1 + count] = NULL;
  run_argc = 1 + (int)count;
}

/* In the forked child: the request's streams become 0, 1 and 2, its folder
 * the working directory, its arguments the program's, and nothing of the
 * server's stays open or installed. */
static void become_run(const int* fds, char* arguments, uint32_t count) {
  sigaction(SIGCHLD, &previous_sigchld, NULL);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != server_pid) _exit(127); /* the server died before prctl */
  /* The server's own 0, 1 and 2 are open (the null device), so received
   * descriptors are above them and no dup2 can overwrite another's source. */
  for (int target = 0; target < 3; ++target) {
    if (dup2(fds[target], target) < 0) _exit(127);
  }
  if (fchdir(fds[4]) != 0) _exit(127);
  take_arguments(arguments, count);
  for (int i = 0; i < TERSIFY_FS_REQUEST_FDS; ++i) close(fds[i]);
  for (size_t i = 0; i < run_count; ++i) close(runs[i].channel);
  close(request_fd);
  close(wake_pipe[0]);
  close(wake_pipe[1]);
  free(runs);
  runs = NULL;
  run_count = run_capacity = 0;
  /* Static destructors (LLVM's command-line options, for one) cost several
   * milliseconds and change nothing a run shows; a handler registered last
   * runs first at exit, so it flushes C streams and ends before them. */
  if (!full_exit) on_exit(end_at_once, NULL);
}

static void close_all(const int* fds, size_t count) {
  for (size_t i = 0; i < count; ++i) close(fds[i]);
}

/* Receives one request and forks its run. Gives 1 in the child, which then
 * returns into main, and 0 in the server. */
static int handle_request(void) {
  struct tersify_fs_record record;
  struct iovec part = {request_bytes, sizeof request_bytes};
  union {
    char bytes[CMSG_SPACE(sizeof(int) * TERSIFY_FS_REQUEST_FDS)];
    struct cmsghdr alignment;
  } control;
  struct msghdr message;
  memset(&message, 0, sizeof message);
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control.bytes;
  message.msg_controllen = sizeof control.bytes;
  ssize_t received = recvmsg(request_fd, &message, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
  if (received < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
  if (received <= 0) shut_down(); /* the client is gone */

  int fds[TERSIFY_FS_REQUEST_FDS];
  size_t count = 0;
  for (struct cmsghdr* header = CMSG_FIRSTHDR(&message); header != NULL; header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) continue;
    size_t carried = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (size_t i = 0; i < carried; ++i) {
      int fd;
      memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
      if (count < TERSIFY_FS_REQUEST_FDS) {
        fds[count++] = fd;
      } else {
        close(fd);
      }
    }
  }
  /* A malformed request gets no answer: its channel, if any, just ends. */
  if ((size_t)received < sizeof record || count != TERSIFY_FS_REQUEST_FDS ||
      (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0) {
    close_all(fds, count);
    return 0;
  }
  memcpy(&record, request_bytes, sizeof record);
  char* arguments = request_bytes + sizeof record;
  size_t argument_bytes = (size_t)received - sizeof record;
  if (record.magic != TERSIFY_FS_MAGIC || record.kind != TERSIFY_FS_REQUEST ||
      !valid_arguments(arguments, argument_bytes, (uint32_t)record.value)) {
    close_all(fds, count);
    return 0;
  }
  if (run_count == run_capacity) {
    size_t capacity = run_capacity == 0 ? 8 : run_capacity * 2;
    struct run* grown = realloc(runs, capacity * sizeof *runs);
    if (grown == NULL) {
      close_all(fds, count);
      return 0;
    }
    runs = grown;
    run_capacity = capacity;
  }

  pid_t pid = fork();
  if (pid == 0) {
    become_run(fds, arguments, (uint32_t)record.value);
    return 1;
  }
  if (pid < 0) {
    send_record(fds[3], TERSIFY_FS_FORK_FAILED, errno);
    close_all(fds, count);
    return 0;
  }
  /* Only the run may hold the stream descriptors, or its pipes never reach
   * their end for the client. */
  close_all(fds, 3);
  close(fds[4]);
  runs[run_count++] = (struct run){pid, fds[3], 0};
  return 0;
}

/* The server loop. Returns only in a forked child. */
static void serve(void) {
  struct pollfd* watched = NULL;
  size_t watched_capacity = 0;
  for (;;) {
    size_t count = 2 + run_count;
    if (count > watched_capacity) {
      struct pollfd* grown = realloc(watched, count * 2 * sizeof *watched);
      if (grown == NULL) shut_down();
      watched = grown;
      watched_capacity = count * 2;
    }
    watched[0] = (struct pollfd){request_fd, POLLIN, 0};
    watched[1] = (struct pollfd){wake_pipe[0], POLLIN, 0};
    for (size_t i = 0; i < run_count; ++i) {
      /* A negative descriptor is skipped by poll: a hung-up channel would
       * otherwise report again and again until its run is reaped. */
      watched[2 + i] = (struct pollfd){runs[i].abandoned ? -1 : runs[i].channel, POLLIN, 0};
    }
    if (poll(watched, count, -1) < 0) {
      if (errno == EINTR) continue;
      shut_down();
    }
    /* Channels first, while the indices still match the runs. */
    for (size_t i = 0; i < run_count; ++i) {
      if (watched[2 + i].revents != 0) kill_abandoned_run(&runs[i]);
    }
    if (watched[1].revents != 0) reap_ended_runs();
    if (watched[0].revents != 0 && handle_request()) {
      free(watched);
      return;
    }
  }
}

static int server_main(int argc, char** argv, char** envp) {
  (void)envp;
  restore_environment();
  /* The loader has mapped the library; no run needs the descriptor. */
  if (library_fd >= 0) close(library_fd);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  server_pid = getpid();
  /* Without wakeups there is no server; the client sees the socket end
   * without a hello and starts the program plainly. */
  if (set_up_wakeups() != 0) _exit(1);
  struct tersify_fs_record hello = {TERSIFY_FS_MAGIC, TERSIFY_FS_HELLO, (int32_t)server_pid, 0};
  if (send(request_fd, &hello, sizeof hello, MSG_NOSIGNAL) != (ssize_t)sizeof hello) _exit(0);
  program_argc = argc;
  program_argv = argv;
  serve();
  return real_main(run_argc, argv, environ);
}

int __libc_start_main(main_function main, int argc, char** argv, void (*init)(void), void (*fini)(void),
                      void (*rtld_fini)(void), void* stack_end) {
  start_main_function next;
  void* symbol = dlsym(RTLD_NEXT, "__libc_start_main");
  if (symbol == NULL) {
    static const char message[] = "fork server preload: __libc_start_main not found\n";
    (void)!write(STDERR_FILENO, message, sizeof message - 1);
    _exit(127);
  }
  memcpy(&next, &symbol, sizeof next);
  if (chosen_to_serve()) {
    real_main = main;
    main = server_main;
  }
  return next(main, argc, argv, init, fini, rtld_fini, stack_end);
}
