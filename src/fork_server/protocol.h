#ifndef TERSIFY_FORK_SERVER_PROTOCOL_H
#define TERSIFY_FORK_SERVER_PROTOCOL_H
/* What the fork server (preload.c, loaded into the served program) and its
 * client (fork_server.cpp) agree on. Shared by C and C++.
 *
 * The client starts the program with the preload library and the variables
 * below. The server sends one hello record on the request socket (a
 * SOCK_SEQPACKET socket, so records never merge or split, whoever sends
 * them). Each request is one record carrying five descriptors: standard
 * input, output, error, the run's channel (one end of a SOCK_STREAM
 * socketpair) and the run's working directory (an O_PATH directory
 * descriptor, which the run enters with fchdir before main); the run's
 * arguments follow the record in the same message, each ended by a NUL
 * byte. The server answers on the channel only: one status record when the
 * run ended, or one fork-failed record, then it closes the channel. A
 * channel that ends without a record means the server broke; a channel that
 * the client closes early makes the server kill that run.
 *
 * A program reads its arguments only once main runs, so one server serves
 * runs with any arguments: it is started with TERSIFY_FS_ARGUMENT_SLOTS
 * empty arguments, and each run puts its own in their place, with a null
 * pointer after the last one (the end that C's argv and Rust's
 * std::env::args both honour) and main's argc counting them. */

#include <stdint.h>

/* Every variable whose name starts with this is the client's and is removed
 * before the program's main runs. */
#define TERSIFY_FS_ENV_PREFIX "TERSIFY_FORK_SERVER_"
/* The descriptor number of the request socket. */
#define TERSIFY_FS_ENV_SOCKET "TERSIFY_FORK_SERVER_SOCKET"
/* Text that the file name of a loaded shared object must contain for the
 * program to be served; any other program passes through untouched. */
#define TERSIFY_FS_ENV_MARKER "TERSIFY_FORK_SERVER_MARKER"
/* The descriptor number of the memfd that holds the preload library. */
#define TERSIFY_FS_ENV_LIBRARY "TERSIFY_FORK_SERVER_LIBRARY"
/* The user's own LD_PRELOAD, present only when the user had one. */
#define TERSIFY_FS_ENV_USER_PRELOAD "TERSIFY_FORK_SERVER_USER_PRELOAD"
/* When set in the client's environment, served runs end through the full
 * exit path (static destructors included) instead of _exit after flushing:
 * a switch for measuring what the shortcut saves. */
#define TERSIFY_FS_ENV_FULL_EXIT "TERSIFY_FORK_SERVER_FULL_EXIT"

#define TERSIFY_FS_MAGIC 0x54465332u /* "TFS2" */

/* The most arguments a run may have (besides the program name), and the
 * most bytes they may take with their NUL bytes. */
#define TERSIFY_FS_ARGUMENT_SLOTS 1024
#define TERSIFY_FS_ARGUMENT_BYTES 65536

enum tersify_fs_kind {
  TERSIFY_FS_HELLO = 1,       /* server to client; value: the server's pid */
  TERSIFY_FS_REQUEST = 2,     /* client to server, with five descriptors; value: the argument count */
  TERSIFY_FS_STATUS = 3,      /* on a channel; value: the raw wait status */
  TERSIFY_FS_FORK_FAILED = 4, /* on a channel; value: fork's errno */
};

/* The request carries these descriptors in this order. */
enum { TERSIFY_FS_REQUEST_FDS = 5 };

struct tersify_fs_record {
  uint32_t magic;
  uint32_t kind;
  int32_t value;
  uint32_t reserved; /* zero */
};

#endif
