#include "support/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace tarnwick::testing {
namespace {

using Clock = std::chrono::steady_clock;

// How long output is still collected after the child has ended, for
// descendants that keep its pipes open.
constexpr int kDrainAfterExitMs = 500;

int msUntil(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

std::string systemError(const std::string& what, int code) {
  return what + ": " + std::strerror(code);
}

// The child's standard streams, as descriptors of the parent.
struct ChildIo {
  int in = -1;
  int out = -1;
  int err = -1;
};

std::vector<std::string> buildEnvironment(const ProcessSpec& launch) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    bool replaced = false;
    for (const auto& extra : launch.extraEnv) {
      if (text.compare(0, extra.first.size() + 1, extra.first + "=") == 0) replaced = true;
    }
    if (!replaced) env.push_back(text);
  }
  for (const auto& extra : launch.extraEnv) env.push_back(extra.first + "=" + extra.second);
  return env;
}

std::string resolveProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::string::size_type start = 0;
  while (start <= dirs.size()) {
    std::string::size_type end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return program;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(&text[0]);
  pointers.push_back(nullptr);
  return pointers;
}

// Runs in the forked child: only async-signal-safe calls until exec.
[[noreturn]] void becomeProgram(const char* path, char** argv, char** envp, const char* workingDir,
                                const ChildIo& io, int errorPipe, pid_t testProcess) {
  setpgid(0, 0);
  // A test process that dies without its clean-up (killed at its time
  // limit, or crashed) takes its children with it.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != testProcess) _exit(127);
  signal(SIGPIPE, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  dup2(io.in, 0);
  dup2(io.out, 1);
  dup2(io.err, 2);
  if (workingDir[0] == '\0' || chdir(workingDir) == 0) {
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    execve(path, argv, envp);
  }
  const int code = errno;
  (void)!write(errorPipe, &code, sizeof code);
  _exit(127);
}

// Starts the program with the given streams; the child leads its own
// process group. False (and the child reaped) when it could not be run.
bool spawn(const ProcessSpec& launch, const ChildIo& io, pid_t* pid, std::string* error) {
  if (launch.argv.empty()) {
    *error = "no program given";
    return false;
  }
  std::vector<std::string> args = launch.argv;
  std::vector<std::string> env = buildEnvironment(launch);
  const std::string path = resolveProgram(launch.argv[0]);
  std::vector<char*> argv = pointersTo(args);
  std::vector<char*> envp = pointersTo(env);
  int errorPipe[2];
  if (pipe2(errorPipe, O_CLOEXEC) != 0) {
    *error = systemError("pipe", errno);
    return false;
  }
  const pid_t testProcess = getpid();
  const pid_t child = fork();
  if (child == 0) {
    close(errorPipe[0]);
    becomeProgram(path.c_str(), argv.data(), envp.data(), launch.workingDir.c_str(), io,
                  errorPipe[1], testProcess);
  }
  const int forkErrno = errno;
  close(errorPipe[1]);
  if (child < 0) {
    close(errorPipe[0]);
    *error = systemError("fork", forkErrno);
    return false;
  }
  setpgid(child, child);  // also here, so the group exists before any kill
  int childErrno = 0;
  ssize_t got;
  do {
    got = read(errorPipe[0], &childErrno, sizeof childErrno);
  } while (got < 0 && errno == EINTR);
  close(errorPipe[0]);
  if (got > 0) {
    waitpid(child, nullptr, 0);
    const std::string where = launch.workingDir.empty() ? "" : " in " + launch.workingDir;
    *error = systemError("cannot run " + path + where, childErrno);
    return false;
  }
  *pid = child;
  return true;
}

ExitStatus decodeWaitStatus(int raw) {
  ExitStatus status;
  if (WIFEXITED(raw)) {
    status.exited = true;
    status.exitCode = WEXITSTATUS(raw);
  } else if (WIFSIGNALED(raw)) {
    status.signal = WTERMSIG(raw);
  }
  return status;
}

void closeFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

// Moves what a non-blocking pipe holds into `sink`; closes it at its end.
void drainPipe(int* fd, std::string* sink) {
  char buffer[65536];
  while (*fd >= 0) {
    const ssize_t got = read(*fd, buffer, sizeof buffer);
    if (got > 0) {
      sink->append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
      closeFd(fd);
    } else if (errno == EAGAIN) {
      return;
    }
  }
}

void feedPipe(int* fd, const std::string& text, std::size_t* offset) {
  while (*fd >= 0 && *offset < text.size()) {
    const ssize_t written = write(*fd, text.data() + *offset, text.size() - *offset);
    if (written > 0) {
      *offset += static_cast<std::size_t>(written);
    } else if (errno == EAGAIN) {
      return;
    } else if (errno != EINTR) {
      closeFd(fd);
    }
  }
  closeFd(fd);
}

bool makePipe(int fds[2], std::string* error) {
  if (pipe2(fds, O_CLOEXEC) != 0) {
    *error = systemError("pipe", errno);
    return false;
  }
  return true;
}

int openForChild(const std::string& path, bool forWriting) {
  const std::string target = path.empty() ? "/dev/null" : path;
  const int flags =
      forWriting ? (O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC);
  return open(target.c_str(), flags, 0644);
}

// The parent's side of a running `runProgram` child.
struct RunPipes {
  int in = -1;
  int out = -1;
  int err = -1;
  bool open() const { return in >= 0 || out >= 0 || err >= 0; }
};

void pumpPipes(RunPipes* pipes, const std::string& stdinText, std::size_t* stdinOffset,
               int timeoutMs, RunResult* result) {
  struct pollfd entries[3] = {
      {pipes->out, POLLIN, 0}, {pipes->err, POLLIN, 0}, {pipes->in, POLLOUT, 0}};
  if (poll(entries, 3, timeoutMs) <= 0) return;
  if (entries[0].revents != 0) drainPipe(&pipes->out, &result->out);
  if (entries[1].revents != 0) drainPipe(&pipes->err, &result->err);
  if (entries[2].revents != 0) feedPipe(&pipes->in, stdinText, stdinOffset);
}

void killGroup(pid_t pid) {
  kill(-pid, SIGKILL);
  kill(pid, SIGKILL);
}

bool startRun(const ProcessSpec& launch, bool withStdin, RunPipes* pipes, pid_t* pid,
              std::string* error) {
  int inPipe[2] = {-1, -1}, outPipe[2], errPipe[2];
  if (!makePipe(outPipe, error)) return false;
  if (!makePipe(errPipe, error)) return false;
  if (withStdin && !makePipe(inPipe, error)) return false;
  ChildIo io{withStdin ? inPipe[0] : openForChild("", false), outPipe[1], errPipe[1]};
  const bool ok = spawn(launch, io, pid, error);
  close(io.in);
  close(outPipe[1]);
  close(errPipe[1]);
  pipes->in = inPipe[1];
  pipes->out = outPipe[0];
  pipes->err = errPipe[0];
  for (int fd : {pipes->in, pipes->out, pipes->err}) {
    if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
  return ok;
}

}  // namespace

std::string RunResult::describe() const {
  std::string text;
  if (!started) return "not started: " + error;
  if (timedOut) text += "timed out; ";
  if (status.exited) text += "exit code " + std::to_string(status.exitCode) + "; ";
  if (status.signal != 0) text += "signal " + std::to_string(status.signal) + "; ";
  return text + "stdout:\n" + out + "\nstderr:\n" + err;
}

RunResult runProgram(const ProcessSpec& launch, int timeoutMs, const std::string& stdinText) {
  RunResult result;
  // A child that leaves its input unread must not kill the test with SIGPIPE.
  if (!stdinText.empty()) signal(SIGPIPE, SIG_IGN);
  RunPipes pipes;
  pid_t pid = -1;
  result.started = startRun(launch, !stdinText.empty(), &pipes, &pid, &result.error);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  Clock::time_point drainUntil = Clock::time_point::max();
  std::size_t stdinOffset = 0;
  bool ended = !result.started;
  while (result.started) {
    int raw = 0;
    if (!ended && waitpid(pid, &raw, WNOHANG) == pid) {
      ended = true;
      result.status = decodeWaitStatus(raw);
      drainUntil = Clock::now() + std::chrono::milliseconds(kDrainAfterExitMs);
    }
    if (ended && (!pipes.open() || Clock::now() >= drainUntil)) break;
    if (!ended && Clock::now() >= deadline) {
      killGroup(pid);
      waitpid(pid, &raw, 0);
      result.timedOut = true;
      result.status = decodeWaitStatus(raw);
      result.status.killed = true;
      drainPipe(&pipes.out, &result.out);
      drainPipe(&pipes.err, &result.err);
      break;
    }
    const int wait = std::min(ended ? msUntil(drainUntil) : msUntil(deadline), 20);
    pumpPipes(&pipes, stdinText, &stdinOffset, wait, &result);
  }
  closeFd(&pipes.in);
  closeFd(&pipes.out);
  closeFd(&pipes.err);
  return result;
}

StartedProcess::~StartedProcess() {
  stop();
}

StartedProcess::StartedProcess(StartedProcess&& other) noexcept {
  *this = std::move(other);
}

StartedProcess& StartedProcess::operator=(StartedProcess&& other) noexcept {
  if (this != &other) {
    stop();
    pid_ = other.pid_;
    reaped_ = other.reaped_;
    stdoutFd_ = other.stdoutFd_;
    stdoutBuffer_ = std::move(other.stdoutBuffer_);
    status_ = other.status_;
    other.pid_ = -1;
    other.stdoutFd_ = -1;
  }
  return *this;
}

bool StartedProcess::start(const ProcessSpec& launch, const OutputSetup& output,
                           std::string* error) {
  stop();
  *this = StartedProcess();
  int outPipe[2] = {-1, -1};
  if (output.pipeStdout && !makePipe(outPipe, error)) return false;
  ChildIo io{openForChild("", false),
             output.pipeStdout ? outPipe[1] : openForChild(output.stdoutPath, true),
             openForChild(output.stderrPath, true)};
  bool ok = io.in >= 0 && io.out >= 0 && io.err >= 0;
  if (!ok) *error = systemError("cannot open the output files", errno);
  pid_t pid = -1;
  if (ok) ok = spawn(launch, io, &pid, error);
  for (int fd : {io.in, io.out, io.err}) {
    if (fd >= 0) close(fd);
  }
  stdoutFd_ = outPipe[0];
  if (stdoutFd_ >= 0) fcntl(stdoutFd_, F_SETFL, fcntl(stdoutFd_, F_GETFL) | O_NONBLOCK);
  if (!ok) {
    closeFd(&stdoutFd_);
    return false;
  }
  pid_ = pid;
  return true;
}

bool StartedProcess::readStdoutLine(int timeoutMs, std::string* line) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    const std::string::size_type newline = stdoutBuffer_.find('\n');
    if (newline != std::string::npos) {
      *line = stdoutBuffer_.substr(0, newline);
      stdoutBuffer_.erase(0, newline + 1);
      return true;
    }
    if (stdoutFd_ < 0) return false;
    struct pollfd entry = {stdoutFd_, POLLIN, 0};
    const int left = msUntil(deadline);
    const int ready = poll(&entry, 1, left);
    if (ready == 0 && left == 0) return false;
    if (ready <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(stdoutFd_, buffer, sizeof buffer);
    if (got > 0) stdoutBuffer_.append(buffer, static_cast<std::size_t>(got));
    if (got == 0) closeFd(&stdoutFd_);
    if (got < 0 && errno != EINTR && errno != EAGAIN) closeFd(&stdoutFd_);
  }
}

bool StartedProcess::reap(int options) {
  if (pid_ <= 0 || reaped_) return true;
  int raw = 0;
  const pid_t got = waitpid(pid_, &raw, options);
  if (got == pid_) {
    status_ = decodeWaitStatus(raw);
  } else if (!(got < 0 && errno == ECHILD)) {
    return false;
  }
  reaped_ = true;
  return true;
}

bool StartedProcess::running() {
  return pid_ > 0 && !reap(WNOHANG);
}

bool StartedProcess::waitForExit(int timeoutMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!reap(WNOHANG)) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

ExitStatus StartedProcess::stop(int graceMs) {
  if (pid_ > 0 && !reap(WNOHANG)) {
    kill(pid_, SIGTERM);
    if (!waitForExit(graceMs)) {
      killGroup(pid_);
      while (!reap(0)) {
      }
      status_.killed = true;
    }
  }
  release();
  return status_;
}

void StartedProcess::release() {
  closeFd(&stdoutFd_);
  stdoutBuffer_.clear();
}

}  // namespace tarnwick::testing
