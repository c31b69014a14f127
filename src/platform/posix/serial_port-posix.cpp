#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/posix/posix_serial_port.h"
#include "platform/posix/tty_close.h"
#include "platform/posix/tty_com_number.h"
#include "platform/posix/tty_holders.h"

namespace tarnwick {
namespace {

using Clock = std::chrono::steady_clock;

// The Windows build configures its ports so that a read with nothing waiting
// ends after 10 ms without a byte; the Linux port keeps the same time-out,
// so a silent line costs the same on both (and never more than the caller's
// bound).
constexpr unsigned kSilentReadTimeoutMs = 10;

// The longest close() may wait for output the device has not taken.
constexpr unsigned kCloseLimitMs = 200;

IoResult failed(int code) {
  errno = code;
  return IoResult{IoStatus::Failed, 0, code};
}

int millisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Raw mode: no echo, no CR/NL translation, no signals, no flow control by
// the line discipline; non-blocking reads (poll does the waiting). The line
// speed and framing stay as the driver has them.
bool makeRaw(int fd) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return false;
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &settings) == 0;
}

// Exclusive use, in place of Windows' "no sharing": TIOCEXCL keeps other
// openers out of the tty, and an advisory lock keeps out another copy of
// the tool even where TIOCEXCL does not bind (a privileged opener).
bool takeExclusiveUse(int fd) {
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return false;
  return ioctl(fd, TIOCEXCL) == 0;
}

// Gives the tty back as it was found: exclusive use and the lock released,
// and output the device never took discarded, so that close() does not wait
// out the driver's closing time (30 s on usb-serial) for a port that does
// not read. Drivers that keep their queued writes through the flush (the
// option driver) are cut short by the close limit. The last-error value is
// left as it was.
void releaseAndClose(int fd) {
  const int saved = errno;
  tcflush(fd, TCOFLUSH);
  ioctl(fd, TIOCNXCL);
  flock(fd, LOCK_UN);
  closeTtyWithin(fd, kCloseLimitMs);
  errno = saved;
}

}  // namespace

PosixSerialPort::PosixSerialPort(std::string deviceRoot) : deviceRoot_(std::move(deviceRoot)) {}

PosixSerialPort::~PosixSerialPort() {
  close();
}

bool PosixSerialPort::open(int comNumber) {
  close();
  std::string name = ttyNameForComNumber(comNumber);
  if (name.empty()) {
    errno = ENOENT;
    return false;
  }
  std::string path = deviceRoot_ + "/" + name;
  openFailureDetail_.clear();
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    // Another program's exclusive use: say who it is.
    if (errno == EBUSY) nameHolder(path, -1);
    return false;
  }
  if (!takeExclusiveUse(fd)) {
    int reason = errno;
    nameHolder(path, fd);  // another copy of the tool holds the lock
    ::close(fd);
    errno = reason;
    return false;
  }
  // Exclusive use keeps later openers out, not one that opened the tty
  // first (a terminal program, a modem manager probing it): refuse to
  // share the line with it, as a port opened without sharing would.
  if (nameHolder(path, fd)) {
    releaseAndClose(fd);
    errno = EBUSY;
    return false;
  }
  if (!makeRaw(fd)) {
    int reason = errno;
    releaseAndClose(fd);
    errno = reason;
    return false;
  }
  fd_ = fd;
  // Nothing has failed on this port yet: a report of its later failures
  // must not show an error left over from before the open.
  errno = 0;
  return true;
}

bool PosixSerialPort::nameHolder(const std::string& path, int fd) {
  TtyHolder holder;
  const bool found = fd >= 0 ? findOtherTtyHolder(fd, holder) : findTtyHolderByPath(path, holder);
  if (found) {
    openFailureDetail_ =
        path + " is held open by " + holder.command + " (pid " + std::to_string(holder.pid) + ")\n";
  }
  return found;
}

void PosixSerialPort::close() {
  if (fd_ < 0) return;
  releaseAndClose(fd_);
  fd_ = -1;
}

IoResult PosixSerialPort::write(const char* data, std::size_t size, unsigned waitMs) {
  if (fd_ < 0) return failed(EBADF);
  int saved = errno;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    ssize_t written = ::write(fd_, data, size);
    if (written > 0) {
      errno = saved;
      return IoResult{IoStatus::Done, static_cast<std::size_t>(written), 0};
    }
    if (written < 0 && errno != EAGAIN && errno != EINTR) return failed(errno);
    pollfd waitFor{fd_, POLLOUT, 0};
    int ready = poll(&waitFor, 1, millisecondsLeft(deadline));
    if (ready < 0 && errno != EINTR) return failed(errno);
    if (ready == 0) {
      errno = saved;
      return IoResult{IoStatus::TimedOut, 0, 0};
    }
  }
}

IoResult PosixSerialPort::read(char* buffer, std::size_t capacity, unsigned waitMs) {
  if (fd_ < 0) return failed(EBADF);
  int saved = errno;
  unsigned limitMs = waitMs < kSilentReadTimeoutMs ? waitMs : kSilentReadTimeoutMs;
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limitMs);
  // Poll first: a reply is usually still on its way when the read starts,
  // and poll returns at once when bytes are already waiting.
  for (;;) {
    pollfd waitFor{fd_, POLLIN, 0};
    int ready = poll(&waitFor, 1, millisecondsLeft(deadline));
    if (ready < 0 && errno != EINTR) return failed(errno);
    if (ready == 0) {
      errno = saved;
      return IoResult{IoStatus::TimedOut, 0, 0};
    }
    if (ready < 0) continue;
    ssize_t got = ::read(fd_, buffer, capacity);
    if (got > 0) {
      errno = saved;
      return IoResult{IoStatus::Done, static_cast<std::size_t>(got), 0};
    }
    // A raw tty that polls readable yet yields end-of-file has lost its
    // device (the other side hung up).
    if (got == 0) return failed(EIO);
    if (errno != EAGAIN && errno != EINTR) return failed(errno);
    // Readable yet nothing to read: try again, but never past the deadline.
    if (Clock::now() >= deadline) {
      errno = saved;
      return IoResult{IoStatus::TimedOut, 0, 0};
    }
  }
}

std::unique_ptr<SerialPort> makeSystemSerialPort() {
  return std::make_unique<PosixSerialPort>("/dev");
}

}  // namespace tarnwick
