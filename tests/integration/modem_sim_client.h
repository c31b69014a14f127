#pragma once

// A plain serial client for the simulator tests: opens the pty slave raw and
// moves bytes with poll-bounded waits, so a misbehaving simulator fails an
// assertion instead of hanging the test.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

namespace tarnwick::testing {

class SimClient {
 public:
  SimClient() = default;
  ~SimClient() { close(); }
  SimClient(const SimClient&) = delete;
  SimClient& operator=(const SimClient&) = delete;

  bool open(const std::string& path) {
    close();
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return fail("open " + path);
    struct termios settings;
    if (tcgetattr(fd_, &settings) != 0) return fail("tcgetattr");
    cfmakeraw(&settings);
    if (tcsetattr(fd_, TCSANOW, &settings) != 0) return fail("tcsetattr");
    deviceGone_ = false;
    return true;
  }

  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // Writes all of `bytes` within two seconds.
  bool send(const std::string& bytes) {
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t written = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (written > 0) {
        done += static_cast<std::size_t>(written);
        continue;
      }
      if (written < 0 && errno != EAGAIN && errno != EINTR) return fail("write");
      struct pollfd entry = {fd_, POLLOUT, 0};
      if (poll(&entry, 1, msUntil(deadline)) <= 0) return fail("write timed out");
    }
    return true;
  }

  // Reads until `ending` occurs in what arrived, the device ends, or
  // `timeoutMs` passes; returns everything read.
  std::string readUntil(const std::string& ending, int timeoutMs) {
    return readWhile(timeoutMs, [&ending](const std::string& got) {
      const std::size_t from = got.size() > ending.size() * 2 ? got.size() - ending.size() * 2 : 0;
      return got.find(ending, from) == std::string::npos;
    });
  }

  // Reads until a final result ("\r\nOK\r\n" or "\r\nERROR\r\n") ends what
  // arrived, or `timeoutMs` passes.
  std::string readReply(int timeoutMs = 2000) {
    return readWhile(timeoutMs, [](const std::string& got) {
      return !endsWith(got, "\r\nOK\r\n") && !endsWith(got, "\r\nERROR\r\n");
    });
  }

  // Reads until at least `size` bytes arrived or `timeoutMs` passes.
  std::string readAtLeast(std::size_t size, int timeoutMs) {
    return readWhile(timeoutMs, [size](const std::string& got) { return got.size() < size; });
  }

  // Everything that arrives within `ms`.
  std::string readFor(int ms) {
    return readWhile(ms, [](const std::string&) { return true; });
  }

  // Sends `command` and a carriage return and reads the reply.
  std::string transact(const std::string& command, int timeoutMs = 2000) {
    if (!send(command + "\r")) return "<send failed: " + error_ + ">";
    return readReply(timeoutMs);
  }

  // True once a read met the end of the device (EIO or end of file): the
  // simulator has closed its side.
  bool deviceGone() const { return deviceGone_; }
  const std::string& error() const { return error_; }
  int fd() const { return fd_; }

  static bool endsWith(const std::string& text, const std::string& ending) {
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
  }

 private:
  using Clock = std::chrono::steady_clock;

  static int msUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
  }

  template <typename KeepGoing>
  std::string readWhile(int timeoutMs, KeepGoing keepGoing) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string got;
    char buffer[65536];
    while (fd_ >= 0 && !deviceGone_ && keepGoing(got)) {
      struct pollfd entry = {fd_, POLLIN, 0};
      const int left = msUntil(deadline);
      if (poll(&entry, 1, left) <= 0 && left == 0) break;
      const ssize_t count = ::read(fd_, buffer, sizeof buffer);
      if (count > 0) got.append(buffer, static_cast<std::size_t>(count));
      if (count == 0 || (count < 0 && errno != EAGAIN && errno != EINTR)) deviceGone_ = true;
    }
    return got;
  }

  bool fail(const std::string& what) {
    error_ = what + ": " + std::strerror(errno);
    return false;
  }

  int fd_ = -1;
  bool deviceGone_ = false;
  std::string error_;
};

}  // namespace tarnwick::testing
