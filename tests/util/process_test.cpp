#include "util/process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/temp_dir.h"
#include "util/cancellation.h"

namespace tersify {
namespace {

// Like the tool, the test process must survive writing to a pipe whose reader
// is gone.
class RunChild : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ignore_write_signals(); }
};

Result<ChildExit, ChildError> sh(const std::string& script, std::optional<std::string_view> input = std::nullopt) {
  return run_child("sh", {"-c", script}, input);
}

std::string pattern(size_t size, unsigned seed) {
  std::string text(size, '\0');
  unsigned x = seed;
  for (auto& c : text) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return text;
}

TEST_F(RunChild, MovesMegabytesThroughAllThreeStreamsAtOnce) {
  // tee answers while it still reads, on both output pipes: feeding the
  // whole input before draining anything would stall it for good.
  std::string input = pattern(3 << 20, 7);
  auto child = sh("tee /dev/stderr", input);
  ASSERT_TRUE(child) << child.error().message;
  EXPECT_TRUE(child->success());
  EXPECT_TRUE(child->out == input);
  EXPECT_TRUE(child->err == input);
}

// What a child leaves comes back as data: its exit code or signal and both
// streams, whatever its input (the null device, an empty or a full pipe) and
// arguments (passed without a shell); a failed start and a child that stopped
// reading its input are failures at their stage.
TEST_F(RunChild, ExitsStreamsAndFailuresAsData) {
  test::TempDir dir;
  dir.write("plain", "echo never\n");
  ::chmod((dir / "plain").c_str(), 0644);
  const std::string big = pattern(1 << 20, 3);
  using Stage = ChildError::Stage;
  struct Case {
    std::vector<std::string> argv;
    std::optional<std::string_view> input;
    std::optional<int> code;
    std::optional<int> signal;
    std::string out, err;
    std::optional<Stage> stage;  // a failure, with `err` as its message
  };
  const Case cases[] = {
      {{"sh", "-c", "echo out; echo 'only here' >&2; exit 42"}, {}, 42, {}, "out\n", "only here\n", {}},
      {{"sh", "-c", "printf 'no newline' >&2; exit 3"}, {}, 3, {}, "", "no newline", {}},
      {{"sh", "-c", "echo partial; kill -KILL $$"}, {}, {}, SIGKILL, "partial\n", "", {}},
      {{"cat"}, {}, 0, {}, "", "", {}},
      {{"wc", "-c"}, "", 0, {}, "0\n", "", {}},
      {{"wc", "-c"}, "12345", 0, {}, "5\n", "", {}},
      {{"printf", "[%s]", "a b", "$HOME", "*", "", "'q'"}, {}, 0, {}, "[a b][$HOME][*][]['q']", "", {}},
      // It failed and said why after the pipe broke: its own exit tells more.
      {{"sh", "-c", "exec 0<&-; sleep 0.1; echo 'error: no such edition' >&2; exit 1"}, big, 1, {}, "",
       "error: no such edition\n", {}},
      // It succeeded without reading everything: the broken pipe is the failure.
      {{"sh", "-c", "exec 0<&-; echo gone"}, big, {}, {}, "", "Broken pipe (os error 32)", Stage::write},
      {{"tersify-test-no-such-program"}, {}, {}, {}, "", "No such file or directory (os error 2)", Stage::start},
      {{dir / "plain"}, "x", {}, {}, "", "Permission denied (os error 13)", Stage::start},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argv.back());
    auto child = run_child(c.argv[0], std::vector<std::string>(c.argv.begin() + 1, c.argv.end()), c.input);
    if (c.stage) {
      ASSERT_FALSE(child);
      EXPECT_EQ(child.error().stage, *c.stage);
      EXPECT_EQ(child.error().message, c.err);
      continue;
    }
    ASSERT_TRUE(child) << child.error().message;
    EXPECT_EQ(child->code, c.code);
    EXPECT_EQ(child->signal, c.signal);
    EXPECT_EQ(child->success(), c.code == 0);
    EXPECT_EQ(child->out, c.out);
    EXPECT_EQ(child->err, c.err);
  }
}

// The SigIgn mask of a process, from /proc/<pid>/status.
unsigned long long ignored_signals(const std::string& status) {
  std::istringstream lines(status);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("SigIgn:")) return std::stoull(line.substr(7), nullptr, 16);
  }
  return ~0ull;
}

TEST_F(RunChild, ChildStartsWithDefaultSigpipeAndSigxfsz) {
  auto ours = run_child("cat", {"/proc/" + std::to_string(::getpid()) + "/status"}, std::nullopt);
  ASSERT_TRUE(ours);
  auto pipe_bit = 1ull << (SIGPIPE - 1);
  auto fsize_bit = 1ull << (SIGXFSZ - 1);
  EXPECT_EQ(ignored_signals(ours->out) & (pipe_bit | fsize_bit), pipe_bit | fsize_bit);

  auto child = run_child("cat", {"/proc/self/status"}, std::nullopt);
  ASSERT_TRUE(child);
  EXPECT_EQ(ignored_signals(child->out) & (pipe_bit | fsize_bit), 0u);

  // With the default disposition, yes dies quietly when head stops reading;
  // ignoring SIGPIPE would have it complain about the broken pipe.
  auto piped = sh("yes | head -c 1");
  ASSERT_TRUE(piped);
  EXPECT_EQ(piped->out, "y");
  EXPECT_EQ(piped->err, "");
}

// True once the process `pid` has left no trace: neither running nor a
// zombie waiting to be reaped.
bool gone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

// Waits (without reaping) until the child `pid` has exited; false when it is
// still running after a generous while, that is, when it is stuck.
bool exits_on_its_own(pid_t pid) {
  for (int i = 0; i < 2000; ++i) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return false;
    if (info.si_pid == pid) return true;
    ::usleep(10000);
  }
  return false;
}

TEST_F(RunChild, UnfinishedChildrenAreKilledAndReapedByTheirOwner) {
  pid_t without_input = -1, with_input = -1, moved_from = -1, replaced = -1;
  {
    auto idle = RunningChild::start("sleep", {"60"}, std::nullopt);
    ASSERT_TRUE(idle) << idle.error().message;
    without_input = idle->pid();
    // sleep never reads; the input still fits into the pipe.
    auto fed = RunningChild::start("sleep", {"60"}, std::string_view("unread input"));
    ASSERT_TRUE(fed) << fed.error().message;
    with_input = fed->pid();
    ASSERT_GT(without_input, 0);
    ASSERT_GT(with_input, 0);

    // Moving hands the child over: the moved-from owner kills nothing.
    RunningChild taken = std::move(*fed);
    EXPECT_EQ(fed->pid(), -1);
    EXPECT_EQ(taken.pid(), with_input);
    moved_from = taken.pid();

    // Assigning over a running child ends that child at once.
    auto first = RunningChild::start("sleep", {"60"}, std::nullopt);
    auto second = RunningChild::start("sleep", {"60"}, std::nullopt);
    ASSERT_TRUE(first && second);
    replaced = first->pid();
    *first = std::move(*second);
    EXPECT_TRUE(gone(replaced));
    EXPECT_FALSE(gone(without_input)) << "still owned";
  }
  EXPECT_TRUE(gone(without_input));
  EXPECT_TRUE(gone(with_input));
  EXPECT_TRUE(gone(moved_from));
}

TEST_F(RunChild, OutputWaitsInThePipesUntilCollected) {
  // Nearly 1 MiB on standard output while nobody reads: the enlarged pipe
  // takes it all, so the child ends before it is collected.
  auto child = RunningChild::start("sh", {"-c", "head -c 900000 /dev/zero; printf done >&2"}, std::nullopt);
  ASSERT_TRUE(child) << child.error().message;
  ASSERT_TRUE(exits_on_its_own(child->pid())) << "the child is stuck on a full pipe";
  auto exit = child->finish();
  ASSERT_TRUE(exit) << exit.error().message;
  EXPECT_TRUE(exit->success());
  EXPECT_EQ(exit->out.size(), 900000u);
  EXPECT_EQ(exit->err, "done");
  EXPECT_EQ(child->pid(), -1);

  // What the child says while its input is still being written is kept for
  // the collection, in order with what follows.
  std::string input = pattern(3 << 20, 11);
  auto talker = RunningChild::start("sh", {"-c", "echo early; echo warn >&2; wc -c; echo late"}, input);
  ASSERT_TRUE(talker) << talker.error().message;
  auto said = talker->finish();
  ASSERT_TRUE(said);
  EXPECT_EQ(said->out, "early\n" + std::to_string(input.size()) + "\nlate\n");
  EXPECT_EQ(said->err, "warn\n");
}

TEST_F(RunChild, CancellingStopsTheWaitAndTheOwnerEndsTheChild) {
  Cancellation cancellation;
  pid_t pid = -1;
  {
    auto child = RunningChild::start("sh", {"-c", "echo started; exec sleep 60"}, std::string_view("ignored"));
    ASSERT_TRUE(child) << child.error().message;
    pid = child->pid();
    std::thread canceller([&] {
      ::usleep(50000);
      cancellation.cancel();
    });
    auto exit = child->finish(cancellation.fd());
    canceller.join();
    ASSERT_FALSE(exit);
    EXPECT_EQ(exit.error().stage, ChildError::Stage::cancelled);
    EXPECT_FALSE(gone(pid)) << "still owned";
  }
  EXPECT_TRUE(gone(pid));

  // Once cancelled, a wait comes back at once.
  auto late = RunningChild::start("sleep", {"60"}, std::nullopt);
  ASSERT_TRUE(late);
  auto exit = late->finish(cancellation.fd());
  ASSERT_FALSE(exit);
  EXPECT_EQ(exit.error().stage, ChildError::Stage::cancelled);
}

}  // namespace
}  // namespace tersify
