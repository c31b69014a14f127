#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace tarnwick::testing {

// What to run: argv[0] is the program, a path or a name looked up in PATH.
struct ProcessSpec {
  ProcessSpec() = default;
  ProcessSpec(std::vector<std::string> arguments) : argv(std::move(arguments)) {}  // NOLINT

  std::vector<std::string> argv;
  // Set in the child's environment on top of this process's own.
  std::vector<std::pair<std::string, std::string>> extraEnv;
  std::string workingDir;  // empty: this process's own
};

// How a process ended.
struct ExitStatus {
  bool exited = false;  // ended by itself with `exitCode`
  int exitCode = -1;
  int signal = 0;       // the signal that ended it, 0 if none
  bool killed = false;  // it had to be sent SIGKILL (time limit or stop grace spent)
};

// The outcome of `runProgram`, output kept byte for byte.
struct RunResult {
  bool started = false;  // false: it could not be started; `error` says why
  std::string error;
  bool timedOut = false;  // still running at the time limit; its process group was killed
  ExitStatus status;
  std::string out;
  std::string err;

  // True when it ran and exited by itself with `code`.
  bool exitedWith(int code) const { return started && status.exited && status.exitCode == code; }
  // A one-paragraph account for assertion messages.
  std::string describe() const;
};

// Runs a program to its end with a hard time limit, capturing standard output
// and standard error. `stdinText` is its whole standard input (empty: none).
// The child leads a process group of its own; on expiry that group is killed
// by its id and the child reaped, and `timedOut` is set.
RunResult runProgram(const ProcessSpec& launch, int timeoutMs, const std::string& stdinText = "");

// Where a started process's output goes.
struct OutputSetup {
  bool pipeStdout = false;  // readable through `readStdoutLine`
  std::string stdoutPath;   // else appended to this file; empty: discarded
  std::string stderrPath;   // appended to this file; empty: discarded
};

// A process running in the background. Whatever happens in a test, it is
// stopped (SIGTERM, SIGKILL after a grace period) and reaped when the
// object goes away.
class StartedProcess {
 public:
  StartedProcess() = default;
  ~StartedProcess();
  StartedProcess(StartedProcess&& other) noexcept;
  StartedProcess& operator=(StartedProcess&& other) noexcept;
  StartedProcess(const StartedProcess&) = delete;
  StartedProcess& operator=(const StartedProcess&) = delete;

  bool start(const ProcessSpec& launch, const OutputSetup& output, std::string* error);

  pid_t pid() const { return pid_; }
  bool started() const { return pid_ > 0; }

  // Reads one line of standard output (without its '\n'), waiting at most
  // `timeoutMs`. False on timeout or when the output ended first.
  bool readStdoutLine(int timeoutMs, std::string* line);

  // True while it has not ended; reaps it once it has.
  bool running();

  // Waits at most `timeoutMs` for it to end by itself. True once it has.
  bool waitForExit(int timeoutMs);

  // SIGTERM by pid; SIGKILL to the pid and its process group when it is
  // still there after `graceMs`; always reaped. Harmless when already ended.
  ExitStatus stop(int graceMs = 2000);

  // How it ended; meaningful once `running()` is false.
  const ExitStatus& exitStatus() const { return status_; }

 private:
  bool reap(int options);
  void release();

  pid_t pid_ = -1;
  bool reaped_ = false;
  int stdoutFd_ = -1;
  std::string stdoutBuffer_;
  ExitStatus status_;
};

}  // namespace tarnwick::testing
