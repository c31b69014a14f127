#include "stop_signal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace modemsim {
namespace {

std::atomic<int> gSignalWriteFd{-1};
volatile sig_atomic_t gStopSignalled = 0;

extern "C" void onStopSignal(int) {
  gStopSignalled = 1;
  const int fd = gSignalWriteFd.load();
  if (fd >= 0) {
    const int savedErrno = errno;
    const char byte = 1;
    (void)!write(fd, &byte, 1);
    errno = savedErrno;
  }
}

bool installHandler(int signalNumber, std::string* error) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  if (sigaction(signalNumber, &action, nullptr) != 0) {
    *error = std::string("sigaction: ") + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

StopSignal::~StopSignal() {
  gSignalWriteFd.store(-1);
  if (readFd_ >= 0) close(readFd_);
  if (writeFd_ >= 0) close(writeFd_);
}

bool StopSignal::install(std::int64_t runTimeMs, std::string* error) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  readFd_ = fds[0];
  writeFd_ = fds[1];
  gSignalWriteFd.store(writeFd_);
  hasDeadline_ = runTimeMs >= 0;
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(runTimeMs);
  // A client that vanishes must not kill the simulator with SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  return installHandler(SIGTERM, error) && installHandler(SIGINT, error);
}

bool StopSignal::stopRequested() const {
  if (gStopSignalled) return true;
  return hasDeadline_ && std::chrono::steady_clock::now() >= deadline_;
}

int StopSignal::boundTimeout(std::int64_t timeoutMs) const {
  std::int64_t bound = timeoutMs;
  if (hasDeadline_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline_ - std::chrono::steady_clock::now())
                          .count() +
                      1;
    const std::int64_t remaining = left < 0 ? 0 : left;
    if (bound < 0 || remaining < bound) bound = remaining;
  }
  if (bound > 1000000) bound = 1000000;
  return static_cast<int>(bound);
}

bool StopSignal::pause(std::int64_t ms) const {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!stopRequested()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          until - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return true;
    struct pollfd entry = {readFd_, POLLIN, 0};
    poll(&entry, 1, boundTimeout(left));
  }
  return false;
}

}  // namespace modemsim
