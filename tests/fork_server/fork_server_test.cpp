#include "fork_server/fork_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>

#include <csignal>
#include <thread>

#include "driver/rustfmt.h"
#include "support/processes.h"
#include "support/temp_dir.h"
#include "support/tools.h"
#include "util/fs.h"
#include "util/program_path.h"
#include "util/running_child.h"
#include "util/spawn.h"

namespace tersify {
namespace {

using namespace std::chrono_literals;
using driver::rustfmt_args;
using test::eventually;
using test::process_stat;

// What a run shows: its output, its messages and how it ended.
struct Outcome {
  std::string out, err;
  std::optional<int> code, signal;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << "code " << o.code.value_or(-1) << " signal " << o.signal.value_or(-1) << " out " << o.out.size()
            << " bytes, err: " << o.err.substr(0, 300);
}

struct Pipe {
  Fd read, write;
  Pipe() {
    int ends[2];
    EXPECT_EQ(0, ::pipe2(ends, O_CLOEXEC));
    read.reset(ends[0]);
    write.reset(ends[1]);
  }
};

// Reads a pipe to its end. A pipe that stays open after its run ended (a
// copy of the write end left somewhere) fails the test instead of hanging.
std::string read_to_end(int fd) {
  std::string text;
  char buffer[65536];
  for (pollfd watched{fd, POLLIN, 0}; ::poll(&watched, 1, 60000) > 0;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return text;
    text.append(buffer, static_cast<size_t>(n));
  }
  ADD_FAILURE() << "the pipe did not reach its end";
  return text;
}

Outcome plain_run(const std::string& program, const std::vector<std::string>& args,
                  std::optional<std::string_view> input) {
  auto exit = run_child(test::on_path(program), args, input);
  EXPECT_TRUE(exit) << exit.error().message;
  return exit ? Outcome{exit->out, exit->err, exit->code, exit->signal} : Outcome{};
}

// A served run on pipes, fed and drained as the tool does it.
Outcome served_run(ForkServer& server, std::string_view input) {
  Pipe in, out, err;
  auto child = server.spawn(in.read.get(), out.write.get(), err.write.get());
  EXPECT_TRUE(child) << child.error();
  if (!child) return {};
  in.read.reset();
  out.write.reset();
  err.write.reset();
  Outcome outcome;
  std::thread writer([&] {
    (void)write_all(in.write.get(), input);  // EPIPE when the run ignores its input
    in.write.reset();
  });
  std::thread error_reader([&] { outcome.err = read_to_end(err.read.get()); });
  outcome.out = read_to_end(out.read.get());
  writer.join();
  error_reader.join();
  auto status = child->wait();
  EXPECT_TRUE(status) << status.error().message;
  if (status && WIFEXITED(*status)) outcome.code = WEXITSTATUS(*status);
  if (status && WIFSIGNALED(*status)) outcome.signal = WTERMSIG(*status);
  return outcome;
}

// `text` with whatever follows each `from` up to the next `until` removed.
std::string blanked(std::string text, std::string_view from, char until) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos;) {
    at += from.size();
    size_t end = text.find(until, at);
    text.erase(at, end == std::string::npos ? std::string::npos : end - at);
  }
  return text;
}

std::unique_ptr<ForkServer> ready_server(const std::string& program, const std::vector<std::string>& args,
                                         std::string_view marker = driver::rustfmt_library) {
  auto server = ForkServer::start(test::on_path(program), args, marker);
  EXPECT_TRUE(server) << server.error();
  if (!server) return nullptr;
  EXPECT_TRUE(server->wait_ready(30s)) << program;
  return std::make_unique<ForkServer>(std::move(*server));
}

// Whether `pid` is gone, or only a zombie.
bool ended(pid_t pid) {
  auto stat = process_stat(pid);
  return !stat || stat->state == 'Z';
}

// A run that waits for input that never comes: its input pipe stays open
// in `held`.
std::pair<ServedChild, pid_t> blocked_run(ForkServer& server, Pipe& held) {
  held = Pipe();
  Fd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  auto child = server.spawn(held.read.get(), null.get(), null.get());
  EXPECT_TRUE(child);
  held.read.reset();
  std::vector<pid_t> runs;
  EXPECT_TRUE(eventually([&] { return !(runs = test::live_children_of(server.pid())).empty(); }));
  EXPECT_EQ(1u, runs.size());
  return {std::move(*child), runs.empty() ? -1 : runs.front()};
}

class ForkServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ignore_write_signals(); }
};

TEST_F(ForkServerTest, ServedRustfmtFailsExactlyAsPlainStarts) {
  std::string large;
  for (int i = 0; large.size() < (2u << 20); ++i) large += "fn f" + std::to_string(i) + "(a:u8)->u8{a+1}\n";
  std::string deep = "fn main() {" + std::string(100000, '{') + std::string(100000, '}') + "}\n";
  const std::string inputs[] = {"fn main( {\n", "fn main() { let s = \"\xff\xfe\"; }\n", large, deep};
  // The thread id in a stack overflow message differs between any two runs.
  auto without_thread_id = [](Outcome o) {
    o.err = blanked(o.err, "thread 'main' (", ')');
    return o;
  };
  auto args = rustfmt_args({"2021", 160, {}, 1, {}});
  auto bad_edition = rustfmt_args({"2099", 160, {}, 1, {}});
  // Served runs end with the exit shortcut (TERSIFY_FORK_SERVER_FULL_EXIT
  // unset), as in the tool.
  auto server = ready_server("rustfmt", args);
  auto refusing = ready_server("rustfmt", bad_edition);
  ASSERT_TRUE(server && refusing);
  for (const auto& input : inputs) {
    auto plain = without_thread_id(plain_run("rustfmt", args, input));
    EXPECT_TRUE(plain.code != 0 || input == large) << plain;
    EXPECT_EQ(plain, without_thread_id(served_run(*server, input))) << input.substr(0, 40);
  }
  EXPECT_EQ(SIGABRT, plain_run("rustfmt", args, deep).signal);
  // rustfmt rejects the edition before reading: the plain run has no input
  // to fail on, the served one meets EPIPE.
  auto plain = plain_run("rustfmt", bad_edition, std::nullopt);
  EXPECT_EQ(1, plain.code);
  EXPECT_EQ(plain, served_run(*refusing, large));
}

TEST_F(ForkServerTest, RunsGetTheEnvironmentAndDescriptorsOfAPlainStart) {
  // Any dynamically linked program can be served; env and ls show what a run
  // inherits, which rustfmt keeps to itself.
  for (std::string user_preload : {"", "libc.so.6"}) {
    if (!user_preload.empty()) ::setenv("LD_PRELOAD", user_preload.c_str(), 1);
    for (std::string program : {"env", "ls"}) {
      std::vector<std::string> args;
      if (program == "ls") args = {"-l", "--time-style=+", "/proc/self/fd/"};
      auto server = ready_server(program, args, "libc.so");
      ASSERT_TRUE(server);
      auto plain = plain_run(program, args, "");
      auto served = served_run(*server, "");
      // The links name the pipes, which differ.
      plain.out = blanked(plain.out, " -> ", '\n');
      served.out = blanked(served.out, " -> ", '\n');
      EXPECT_EQ(plain, served) << plain.out << "\n---\n" << served.out;
    }
    ::unsetenv("LD_PRELOAD");
  }
}

TEST_F(ForkServerTest, KilledServerBreaksItsRunsAndLeavesNoProcess) {
  auto server = ready_server("rustfmt", rustfmt_args({"2021", 100, {}, 1, {}}));
  ASSERT_TRUE(server);
  Pipe held;
  auto [child, run] = blocked_run(*server, held);
  ASSERT_EQ(0, ::kill(server->pid(), SIGKILL));
  auto status = child.wait();
  ASSERT_FALSE(status);
  EXPECT_EQ(ServedError::Kind::broken, status.error().kind);
  EXPECT_TRUE(eventually([pid = run] { return ended(pid); }));
  EXPECT_FALSE(server->spawn(0, 1, 2));
}

TEST_F(ForkServerTest, DroppedRunsAndServersLeaveNoProcess) {
  pid_t server_pid = -1, last_run = -1;
  Pipe held;
  std::optional<ServedChild> outliving;  // the server must end this run itself
  {
    auto server = ready_server("rustfmt", rustfmt_args({"2021", 100, {}, 1, {}}));
    ASSERT_TRUE(server);
    server_pid = server->pid();
    Pipe cancel;
    pid_t cancelled_run = -1;
    {
      auto [child, run] = blocked_run(*server, held);
      cancelled_run = run;
      ASSERT_EQ(1, ::write(cancel.write.get(), "x", 1));
      auto status = child.wait(cancel.read.get());
      ASSERT_FALSE(status);
      EXPECT_EQ(ServedError::Kind::cancelled, status.error().kind);
      EXPECT_FALSE(ended(run)) << "a cancelled wait leaves the run alone";
    }
    EXPECT_TRUE(eventually([&] { return ended(cancelled_run); }));
    auto [child, run] = blocked_run(*server, held);
    outliving.emplace(std::move(child));
    last_run = run;
  }
  // Reaped by the server before it ended, not left to init.
  EXPECT_FALSE(process_stat(last_run));
  EXPECT_FALSE(process_stat(server_pid));
  auto status = outliving->wait();
  ASSERT_FALSE(status);
  EXPECT_EQ(ServedError::Kind::broken, status.error().kind);
}

TEST_F(ForkServerTest, OnlyTheMarkedProgramServes) {
  // cat has no librustc_driver: it passes through, reads its null input and
  // ends, never saying hello.
  auto cat = ForkServer::start(test::on_path("/bin/cat"), {}, driver::rustfmt_library);
  ASSERT_TRUE(cat);
  EXPECT_FALSE(cat->wait_ready(10s));
  EXPECT_FALSE(cat->spawn(0, 1, 2));
  auto sleeper = ForkServer::start(test::on_path("sleep"), {"60"}, driver::rustfmt_library);
  ASSERT_TRUE(sleeper);
  EXPECT_FALSE(sleeper->wait_ready(300ms));
  EXPECT_FALSE(ForkServer::start(test::on_path("no-such-program-here"), {}, "x"));

  EXPECT_TRUE(test::on_path("rustfmt").is_elf());
  EXPECT_TRUE(test::on_path("/bin/cat").is_elf());
  test::TempDir dir;
  test::write_script(dir / "rustfmt", "exec rustfmt \"$@\"\n");
  const std::string path = dir.path() + ":" + std::getenv("PATH");
  EXPECT_FALSE((Program{"rustfmt", path}.is_elf()));
  EXPECT_FALSE((Program{"no-such-program-here", path}.is_elf()));
}

}  // namespace
}  // namespace tersify
