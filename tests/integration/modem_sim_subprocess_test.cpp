// The process helpers the simulator tests (and the end-to-end tests) stand
// on: exact output capture, time limits that kill the whole process group,
// and background processes that are always stopped and reaped.

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "support/subprocess.h"

namespace tarnwick::testing {
namespace {

using Clock = std::chrono::steady_clock;

// True once `pid` is gone or only a zombie waiting for its reaper.
bool processEnded(pid_t pid) {
  if (kill(pid, 0) != 0) return errno == ESRCH;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string pidText, name, state;
  stat >> pidText >> name >> state;
  return state == "Z";
}

bool endsWithin(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!processEnded(pid)) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TEST(SubprocessTest, CapturesOutputBytesExactlyWithTheExitCode) {
  const RunResult result =
      runProgram({{"/bin/sh", "-c", "printf 'a\\000b\\r\\n\\377'; printf err >&2; exit 3"}}, 5000);
  EXPECT_TRUE(result.exitedWith(3)) << result.describe();
  EXPECT_EQ(result.out, std::string("a\0b\r\n\xFF", 6));
  EXPECT_EQ(result.err, "err");
  EXPECT_FALSE(result.timedOut);

  const RunResult signalled = runProgram({{"/bin/sh", "-c", "kill -USR1 $$"}}, 5000);
  EXPECT_FALSE(signalled.status.exited);
  EXPECT_EQ(signalled.status.signal, SIGUSR1);
}

TEST(SubprocessTest, PassesEnvironmentWorkingFolderAndInput) {
  ProcessSpec launch({"sh", "-c", "echo \"$TARNWICK_PROBE/$HOME\"; pwd; cat"});
  launch.extraEnv = {{"TARNWICK_PROBE", "42"}, {"HOME", "/nowhere"}};
  launch.workingDir = "/usr";
  const std::string input(200000, 'i');  // more than a pipe holds at once
  const RunResult result = runProgram(launch, 5000, input);
  ASSERT_TRUE(result.exitedWith(0)) << result.describe();
  EXPECT_EQ(result.out, "42//nowhere\n/usr\n" + input);
}

TEST(SubprocessTest, ReportsAProgramThatCannotRun) {
  const RunResult missing = runProgram({{"/nonexistent/program"}}, 5000);
  EXPECT_FALSE(missing.started);
  EXPECT_NE(missing.error.find("No such file"), std::string::npos) << missing.error;
  ProcessSpec badFolder({"/bin/true"});
  badFolder.workingDir = "/nonexistent";
  EXPECT_FALSE(runProgram(badFolder, 5000).started);
}

TEST(SubprocessTest, TimeLimitKillsTheWholeProcessGroup) {
  const auto start = Clock::now();
  const RunResult result =
      runProgram({{"/bin/sh", "-c", "sleep 30 & echo $!; wait; echo never"}}, 1500);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(result.timedOut);
  EXPECT_TRUE(result.status.killed);
  EXPECT_FALSE(result.status.exited);
  const pid_t grandchild = static_cast<pid_t>(std::atol(result.out.c_str()));
  ASSERT_GT(grandchild, 0) << result.describe();
  EXPECT_EQ(result.out.find("never"), std::string::npos);
  EXPECT_TRUE(endsWithin(grandchild, std::chrono::seconds(2))) << "sleep " << grandchild;
}

TEST(SubprocessTest, StartedProcessStopsWithSigtermOrElseSigkill) {
  StartedProcess polite;
  std::string error;
  OutputSetup piped;
  piped.pipeStdout = true;
  ASSERT_TRUE(polite.start({{"/bin/sh", "-c", "echo up; exec sleep 30"}}, piped, &error)) << error;
  std::string line;
  ASSERT_TRUE(polite.readStdoutLine(5000, &line));
  EXPECT_EQ(line, "up");
  EXPECT_TRUE(polite.running());
  ExitStatus status = polite.stop(2000);
  EXPECT_EQ(status.signal, SIGTERM);
  EXPECT_FALSE(status.killed);

  StartedProcess stubborn;
  ASSERT_TRUE(stubborn.start(
      {{"/bin/sh", "-c", "trap '' TERM; echo ready; while :; do sleep 1; done"}}, piped, &error))
      << error;
  ASSERT_TRUE(stubborn.readStdoutLine(5000, &line));
  const auto start = Clock::now();
  status = stubborn.stop(300);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
  EXPECT_TRUE(status.killed);
  EXPECT_EQ(status.signal, SIGKILL);
  EXPECT_FALSE(stubborn.readStdoutLine(100, &line));
}

TEST(SubprocessTest, StartedProcessIsStoppedAndReapedWhenItGoesAway) {
  pid_t pid = -1;
  {
    StartedProcess process;
    std::string error;
    ASSERT_TRUE(process.start({{"sleep", "30"}}, OutputSetup(), &error)) << error;
    pid = process.pid();
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(process.running());
  }
  // Reaped by us, so not even a zombie is left.
  EXPECT_EQ(kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

TEST(SubprocessTest, WaitForExitSeesAnEndAndReadLineSeesTheOutputEnd) {
  StartedProcess process;
  std::string error;
  OutputSetup piped;
  piped.pipeStdout = true;
  ASSERT_TRUE(process.start({{"/bin/sh", "-c", "printf 'one\\ntwo'; exit 4"}}, piped, &error));
  std::string line;
  ASSERT_TRUE(process.readStdoutLine(5000, &line));
  EXPECT_EQ(line, "one");
  EXPECT_FALSE(process.readStdoutLine(5000, &line)) << "an unterminated rest is no line";
  ASSERT_TRUE(process.waitForExit(5000));
  EXPECT_FALSE(process.running());
  EXPECT_TRUE(process.exitStatus().exited);
  EXPECT_EQ(process.exitStatus().exitCode, 4);
  EXPECT_EQ(process.stop().exitCode, 4);
}

}  // namespace
}  // namespace tarnwick::testing
