#include "util/running_child.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "support/processes.h"
#include "support/temp_dir.h"
#include "support/tools.h"
#include "util/cancellation.h"
#include "util/spawn.h"

namespace tersify {
namespace {

using test::process_stat;

// Like the tool, the test process must survive writing to a pipe whose reader
// is gone.
class RunChild : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ignore_write_signals(); }
};

std::string pattern(size_t size, unsigned seed) {
  std::string text(size, '\0');
  for (auto& c : text) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
  return text;
}

// What a child leaves comes back as data: its exit code or signal and both
// streams, whatever its input (the null device, an empty or a full pipe, or
// megabytes that tee answers on both output pipes while it still reads, which
// stalls for good unless all three streams move at once) and arguments
// (passed without a shell); a failed start and a child that stopped reading
// its input are failures at their stage. Children start with the default
// SIGPIPE and SIGXFSZ, which this process ignores: yes dies quietly when head
// stops reading, and head dies past its file size limit, where ignoring them
// would have both complain.
TEST_F(RunChild, ExitsStreamsAndFailuresAsData) {
  for (int signal : {SIGPIPE, SIGXFSZ}) {
    struct sigaction now {};
    ::sigaction(signal, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN) << signal;
  }
  test::TempDir dir;
  dir.write("plain", "echo never\n");
  ::chmod((dir / "plain").c_str(), 0644);
  const std::string big = pattern(3 << 20, 7);
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
      {{"sh", "-c", "tee /dev/stderr"}, big, 0, {}, big, big, {}},
      {{"printf", "[%s]", "a b", "$HOME", "*", "", "'q'"}, {}, 0, {}, "[a b][$HOME][*][]['q']", "", {}},
      {{"sh", "-c", "yes | head -c 1"}, {}, 0, {}, "y", "", {}},
      {{"sh", "-c", "ulimit -f 1; exec head -c 10000 /dev/zero >" + dir / "f"}, {}, {}, SIGXFSZ, "", "", {}},
      // It failed and said why after the pipe broke: its own exit tells more.
      {{"sh", "-c", "exec 0<&-; sleep 0.1; echo 'error: no such edition' >&2; exit 1"},
       big,
       1,
       {},
       "",
       "error: no such edition\n",
       {}},
      // It succeeded without reading everything: the broken pipe is the failure.
      {{"sh", "-c", "exec 0<&-; echo gone"}, big, {}, {}, "", "Broken pipe (os error 32)", Stage::write},
      {{"tersify-test-no-such-program"}, {}, {}, {}, "", "No such file or directory (os error 2)", Stage::start},
      {{dir / "plain"}, "x", {}, {}, "", "Permission denied (os error 13)", Stage::start},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argv.back());
    auto child =
        run_child(test::on_path(c.argv[0]), std::vector<std::string>(c.argv.begin() + 1, c.argv.end()), c.input);
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
    // Whole streams: a difference shows in the first bytes and the size.
    EXPECT_TRUE(child->out == c.out) << child->out.size() << " bytes: " << child->out.substr(0, 200);
    EXPECT_TRUE(child->err == c.err) << child->err.size() << " bytes: " << child->err.substr(0, 200);
  }
}

TEST_F(RunChild, UnfinishedChildrenAreKilledAndReapedByTheirOwner) {
  // Gone means no trace left: neither running nor a zombie waiting.
  pid_t without_input = -1, with_input = -1;
  {
    auto idle = RunningChild::start(test::on_path("sleep"), {"60"}, std::nullopt);
    // sleep never reads; the input still fits into the pipe.
    auto fed = RunningChild::start(test::on_path("sleep"), {"60"}, std::string_view("unread input"));
    ASSERT_TRUE(idle && fed);
    without_input = idle->pid();
    with_input = fed->pid();
    ASSERT_GT(with_input, 0);

    // Moving hands the child over: the moved-from owner kills nothing.
    RunningChild taken = std::move(*fed);
    EXPECT_EQ(fed->pid(), -1);
    EXPECT_EQ(taken.pid(), with_input);

    // Assigning over a running child ends that child at once.
    auto first = RunningChild::start(test::on_path("sleep"), {"60"}, std::nullopt);
    auto second = RunningChild::start(test::on_path("sleep"), {"60"}, std::nullopt);
    ASSERT_TRUE(first && second);
    pid_t replaced = first->pid();
    *first = std::move(*second);
    EXPECT_FALSE(process_stat(replaced));
    EXPECT_TRUE(process_stat(without_input)) << "still owned";
  }
  EXPECT_FALSE(process_stat(without_input));
  EXPECT_FALSE(process_stat(with_input));
}

TEST_F(RunChild, OutputWaitsInThePipesUntilCollected) {
  // Nearly 1 MiB on standard output while nobody reads: the enlarged pipe
  // takes it all, so the child ends (seen without reaping it) before it is
  // collected.
  auto child =
      RunningChild::start(test::on_path("sh"), {"-c", "head -c 900000 /dev/zero; printf done >&2"}, std::nullopt);
  ASSERT_TRUE(child) << child.error().message;
  ASSERT_TRUE(test::eventually([&] {
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(child->pid()), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == child->pid();
  })) << "the child is stuck on a full pipe";
  auto exit = child->finish();
  ASSERT_TRUE(exit) << exit.error().message;
  EXPECT_TRUE(exit->success());
  EXPECT_EQ(exit->out.size(), 900000u);
  EXPECT_EQ(exit->err, "done");
  EXPECT_EQ(child->pid(), -1);

  // What the child says while its input is still being written is kept for
  // the collection, in order with what follows.
  std::string input = pattern(3 << 20, 11);
  auto talker = RunningChild::start(test::on_path("sh"), {"-c", "echo early; echo warn >&2; wc -c; echo late"}, input);
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
    auto child =
        RunningChild::start(test::on_path("sh"), {"-c", "echo started; exec sleep 60"}, std::string_view("ignored"));
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
    EXPECT_TRUE(process_stat(pid)) << "still owned";
  }
  EXPECT_FALSE(process_stat(pid));

  // Once cancelled, a wait comes back at once.
  auto late = RunningChild::start(test::on_path("sleep"), {"60"}, std::nullopt);
  ASSERT_TRUE(late);
  auto exit = late->finish(cancellation.fd());
  ASSERT_FALSE(exit);
  EXPECT_EQ(exit.error().stage, ChildError::Stage::cancelled);
}

}  // namespace
}  // namespace tersify
