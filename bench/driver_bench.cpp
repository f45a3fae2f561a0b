// Figures for the driver: pipe throughput of a child process, and whole runs
// (check mode, write mode, check again) over a copy of a real crate, with the
// time per file and the peak memory of our own process (children excluded).
//
//   tersify_driver_bench <crate directory>
//
// bench/driver.sh installs a crate from Debian's librust-*-dev packages
// and runs this.

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "cargo_tersify/args.h"
#include "cargo_tersify/run.h"
#include "cargo_tersify/run_options.h"
#include "discovery/source_files.h"
#include "driver/environment.h"
#include "util/fd.h"
#include "util/running_child.h"
#include "util/spawn.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

long peak_rss_kib() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void pipe_throughput(const char* label, const std::string& script, size_t bytes) {
  std::string input(bytes, 'x');
  auto start = Clock::now();
  auto child = tersify::run_child(tersify::driver::read_environment().program("sh"), {"-c", script}, input);
  double elapsed = seconds_since(start);
  if (!child || !child->success()) {
    std::printf("%-34s failed\n", label);
    return;
  }
  double mib = static_cast<double>(bytes + child->out.size() + child->err.size()) / (1 << 20);
  std::printf("%-34s %8.1f MiB moved in %.3f s: %7.1f MiB/s\n", label, mib, elapsed, mib / elapsed);
}

// One in-process run with standard output sent to the null device (check
// mode prints a line per file).
int quiet_run(const std::string& dir, bool check) {
  std::fflush(stdout);
  tersify::Fd saved(::dup(STDOUT_FILENO));
  tersify::Fd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  ::dup2(null.get(), STDOUT_FILENO);
  tersify::RunArguments args;
  args.check = check;
  args.paths = {dir};
  auto options = tersify::run_options(args, tersify::driver::read_environment());
  int status = options ? tersify::run(*options) : 2;
  ::dup2(saved.get(), STDOUT_FILENO);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  tersify::ignore_write_signals();
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <crate directory>\n", argv[0]);
    return 2;
  }

  namespace fs = std::filesystem;
  fs::path copy = fs::temp_directory_path() / ("tersify-bench-" + std::to_string(::getpid()));
  fs::copy(argv[1], copy, fs::copy_options::recursive);
  fs::remove(copy / ".cargo-checksum.json");  // a registry crate is vendored code, which the tool leaves alone
  auto listed = tersify::discovery::collect_source_files({copy.string()});
  if (!listed) {
    std::fprintf(stderr, "%s\n", listed.error().c_str());
    return 2;
  }
  const auto& files = *listed;
  std::uintmax_t bytes = 0;
  for (const auto& file : files) bytes += fs::file_size(file);
  std::printf("crate: %s, %zu files, %.1f KiB\n", fs::path(argv[1]).filename().c_str(), files.size(),
              static_cast<double>(bytes) / 1024);

  long rss_before = peak_rss_kib();
  for (auto [label, check] :
       {std::pair{"check run", true}, std::pair{"write run", false}, std::pair{"check after write", true}}) {
    auto start = Clock::now();
    int status = quiet_run(copy.string(), check);
    double elapsed = seconds_since(start);
    std::printf("%-18s status %d  %.2f s  %.1f ms/file\n", label, status, elapsed,
                1000 * elapsed / static_cast<double>(files.empty() ? 1 : files.size()));
  }
  std::printf("peak memory of the tool's own process: %ld KiB (%ld KiB before the runs)\n", peak_rss_kib(), rss_before);
  fs::remove_all(copy);

  // After the runs, so that these buffers don't count in the peak above.
  pipe_throughput("child: 64 MiB in, same out (cat)", "cat", 64 << 20);
  pipe_throughput("child: 32 MiB in, out and err (tee)", "tee /dev/stderr", 32 << 20);
  return 0;
}
