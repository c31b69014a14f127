#include "child_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "proc_stat.h"

namespace benchmeasure {
namespace {

using Clock = std::chrono::steady_clock;

double seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

void addUsage(const rusage& used, ChildUsage* usage) {
  usage->userSeconds += seconds(used.ru_utime);
  usage->systemSeconds += seconds(used.ru_stime);
}

void redirect(const std::string& path, int fd) {
  if (path.empty()) return;
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (file < 0 || dup2(file, fd) < 0) _exit(126);
}

[[noreturn]] void execChild(const ChildRun& run) {
  setpgid(0, 0);
  redirect(run.stdoutPath, STDOUT_FILENO);
  redirect(run.stderrPath, STDERR_FILENO);
  std::vector<char*> argv;
  for (const std::string& argument : run.argv) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

// Reaps descendants that were handed to us and have ended, adding their CPU.
void reapOrphans(ChildUsage* usage) {
  int status = 0;
  rusage used{};
  while (wait4(-1, &status, WNOHANG, &used) > 0) addUsage(used, usage);
}

// Waits up to `waitMs` for `pid` to end, without reaping it. The pidfd
// wakes us the moment it ends; without one, the exit is polled.
bool hasEnded(pid_t pid, int exitFd, int waitMs) {
  if (exitFd >= 0) {
    pollfd ended{exitFd, POLLIN, 0};
    return poll(&ended, 1, waitMs) > 0;
  }
  usleep(static_cast<useconds_t>(waitMs) * 1000);
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

}  // namespace

bool runChild(const ChildRun& run, ChildUsage* usage, std::string* error) {
  const Clock::time_point start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    *error = std::string("fork: ") + std::strerror(errno);
    return false;
  }
  if (pid == 0) execChild(run);
  setpgid(pid, pid);
  const int exitFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  const Clock::time_point deadline = start + std::chrono::milliseconds(run.timeoutMs);
  for (;;) {
    const long hwm = readPeakRssKib(pid);
    if (hwm >= 0) usage->sampledHwmKib = hwm;
    if (hasEnded(pid, exitFd, run.sampleMs)) break;
    if (Clock::now() >= deadline && !usage->timedOut) {
      usage->timedOut = true;
      kill(-pid, SIGKILL);
    }
  }
  int status = 0;
  rusage used{};
  const pid_t reaped = wait4(pid, &status, 0, &used);
  usage->wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (exitFd >= 0) close(exitFd);
  if (reaped != pid) {
    *error = std::string("wait4: ") + std::strerror(errno);
    return false;
  }
  addUsage(used, usage);
  usage->maxRssKib = used.ru_maxrss;
  if (WIFEXITED(status)) usage->exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) usage->termSignal = WTERMSIG(status);
  reapOrphans(usage);
  return true;
}

}  // namespace benchmeasure
