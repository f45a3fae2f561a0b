// Figures for the rustfmt fork server: the time to start a server until its
// hello, and the time per file of a plain rustfmt start against a served
// run, for an empty file and a real one, with the served runs ending through
// the _exit shortcut and through the full exit path; then the same files
// in served batches (driver/rustfmt_batch.h): one alone, and a full batch.
//
//   tersify_fork_server_bench [RUNS] [FILE.rs]
//
// RUNS defaults to 30; FILE to memchr's src/memchr/mod.rs from Debian's
// crate registry (REGISTRY overrides /usr/share/cargo/registry). rustfmt is
// the one on PATH. Served runs use memfd files for their streams.

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/environment.h"
#include "driver/rustfmt.h"
#include "driver/rustfmt_batch.h"
#include "fork_server/fork_server.h"
#include "util/fd.h"
#include "util/fs.h"
#include "util/random_token.h"
#include "util/running_child.h"
#include "util/scratch_folder.h"
#include "util/spawn.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

const std::vector<std::string> args = tersify::driver::rustfmt_args({"2021", 160, {}, 1, {}});
const tersify::driver::Environment environment = tersify::driver::read_environment();

std::string default_file() {
  const char* registry = std::getenv("REGISTRY");
  std::filesystem::path root = registry != nullptr ? registry : "/usr/share/cargo/registry";
  if (std::filesystem::is_directory(root)) {
    for (const auto& crate : std::filesystem::directory_iterator(root)) {
      auto file = crate.path() / "src/memchr/mod.rs";
      if (crate.path().filename().string().starts_with("memchr-") && std::filesystem::exists(file)) return file;
    }
  }
  return "";
}

tersify::Fd memfd_with(const std::string& text) {
  tersify::Fd fd(::memfd_create("bench", MFD_CLOEXEC));
  (void)tersify::write_all(fd.get(), text);
  ::lseek(fd.get(), 0, SEEK_SET);
  return fd;
}

// Milliseconds per run of plain starts, or a negative figure on a failure.
double plain_ms(const std::string& source, int runs) {
  auto start = Clock::now();
  for (int i = 0; i < runs; ++i) {
    auto exit = tersify::run_child(environment.program("rustfmt"), args, source);
    if (!exit || !exit->success()) return -1;
  }
  return ms_since(start) / runs;
}

// One served run; its standard output, or none on a failure.
std::optional<std::string> served_once(tersify::ForkServer& server, const std::string& source) {
  tersify::Fd in = memfd_with(source), out = memfd_with(""), err = memfd_with("");
  auto child = server.spawn(in.get(), out.get(), err.get());
  if (!child) return std::nullopt;
  auto status = child->wait();
  if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) return std::nullopt;
  ::lseek(out.get(), 0, SEEK_SET);
  std::string text;
  char buffer[65536];
  for (ssize_t n; (n = ::read(out.get(), buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  return text;
}

double served_ms(tersify::ForkServer& server, const std::string& source, int runs) {
  auto start = Clock::now();
  for (int i = 0; i < runs; ++i) {
    if (!served_once(server, source)) return -1;
  }
  return ms_since(start) / runs;
}

struct Started {
  std::optional<tersify::ForkServer> server;
  double ms = -1;
};

Started start_server(const std::vector<std::string>& server_args = args) {
  Started started;
  auto start = Clock::now();
  auto server =
      tersify::ForkServer::start(environment.program("rustfmt"), server_args, tersify::driver::rustfmt_library);
  if (!server || !server->wait_ready(30s)) return started;
  started.ms = ms_since(start);
  started.server.emplace(std::move(*server));
  return started;
}

}  // namespace

int main(int argc, char** argv) {
  tersify::ignore_write_signals();
  int runs = argc > 1 ? std::atoi(argv[1]) : 30;
  std::string path = argc > 2 ? argv[2] : default_file();
  auto file = tersify::read_file(path);
  if (runs <= 0 || !file) {
    std::fprintf(stderr, "usage: tersify_fork_server_bench [RUNS] [FILE.rs] (no file at \"%s\")\n", path.c_str());
    return 2;
  }
  std::printf("rustfmt per file, %d runs each; typical file: %s (%zu bytes)\n", runs, path.c_str(), file->size());

  double start_sum = 0;
  for (int i = 0; i < 5; ++i) {
    auto started = start_server();
    if (!started.server) {
      std::printf("the fork server did not start\n");
      return 1;
    }
    start_sum += started.ms;
  }
  std::printf("%-36s %8.1f ms (mean of 5)\n", "server start until hello", start_sum / 5);

  auto shortcut = start_server();
  ::setenv("TERSIFY_FORK_SERVER_FULL_EXIT", "1", 1);
  auto full_exit = start_server();
  ::unsetenv("TERSIFY_FORK_SERVER_FULL_EXIT");
  if (!shortcut.server || !full_exit.server) return 1;
  auto plain_out = tersify::run_child(environment.program("rustfmt"), args, *file);
  if (!plain_out || served_once(*shortcut.server, *file) != plain_out->out ||
      served_once(*full_exit.server, *file) != plain_out->out) {
    std::printf("served output differs from a plain start\n");
    return 1;
  }

  const std::string empty;
  for (const auto& [label, source] : {std::pair<const char*, const std::string*>{"empty file", &empty},
                                      std::pair<const char*, const std::string*>{"typical file", &*file}}) {
    double plain = plain_ms(*source, runs);
    double quick = served_ms(*shortcut.server, *source, runs);
    double full = served_ms(*full_exit.server, *source, runs);
    std::printf("%-14s plain %7.2f ms   served %7.2f ms (%.1fx)   served, full exit %7.2f ms\n", label, plain, quick,
                plain / quick, full);
  }

  // Batches need a configuration file; an empty one is rustfmt's defaults.
  auto config_folder = tersify::ScratchFolder::create(environment.temp_folder, "tersify-bench-");
  if (!config_folder || !config_folder->write("rustfmt.toml", "")) return 1;
  tersify::driver::FileSettings settings{"2021", 160, {}, 1, config_folder->path() + "/rustfmt.toml"};
  const tersify::driver::BatchSetup setup{environment.program("rustfmt"), environment.temp_folder,
                                          tersify::random_token()};
  const std::string& token = setup.token;
  auto batch_server = start_server(tersify::driver::batch_args(settings, tersify::driver::batch_names(token),
                                                               tersify::driver::batch_config_name(token)));
  if (!batch_server.server) return 1;
  for (const auto& [label, source] : {std::pair<const char*, const std::string*>{"empty file", &empty},
                                      std::pair<const char*, const std::string*>{"typical file", &*file}}) {
    for (std::size_t count : {std::size_t{1}, tersify::driver::batch_slots}) {
      std::vector<std::string_view> texts(count, *source);
      auto start = Clock::now();
      for (int i = 0; i < runs; ++i) {
        auto batch = tersify::driver::run_batch(setup, texts, settings, &*batch_server.server, -1);
        if (!batch.texts.back() || (source == &*file && *batch.texts.back() != plain_out->out)) {
          std::printf("a served batch failed or differs from a plain start\n");
          return 1;
        }
      }
      double ms = ms_since(start) / runs;
      std::printf("%-14s served batch of %2zu: %7.2f ms, %6.2f ms per file\n", label, count, ms,
                  ms / static_cast<double>(count));
    }
  }
  return 0;
}
