// The Linux floor client: the simplest way to drive the simulated modem's
// pty. One write per command line, then blocking reads in bulk until the
// final result; the tty's VTIME bounds every read.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "final_result.h"
#include "floor_cli.h"

namespace benchfloor {
namespace {

constexpr cc_t kReplyWaitDeciseconds = 50;
constexpr std::size_t kReplyCap = 64 * 1024;

class PosixTty {
 public:
  ~PosixTty() {
    if (fd_ >= 0) close(fd_);
  }

  // Raw, and a read returns as soon as any byte is there, or with nothing
  // after the reply wait.
  bool open(const std::string& path, std::string* error) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (fd_ < 0 || tcgetattr(fd_, &settings) != 0) return fail("open " + path, error);
    cfmakeraw(&settings);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = kReplyWaitDeciseconds;
    if (tcsetattr(fd_, TCSANOW, &settings) != 0) return fail("raw mode", error);
    return true;
  }

  bool transact(const std::string& line) {
    if (!writeAll(line)) return false;
    reply_.clear();
    for (;;) {
      const ssize_t got = read(fd_, buffer_, sizeof buffer_);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;  // an error, or nothing within the wait
      const std::size_t scanned = reply_.size();
      reply_.append(buffer_, static_cast<std::size_t>(got));
      const FinalResult result = finalResultIn(reply_.data(), reply_.size(), scanned);
      if (result != FinalResult::Pending) return result == FinalResult::Ok;
      if (reply_.size() > kReplyCap) return false;
    }
  }

 private:
  static bool fail(const std::string& what, std::string* error) {
    *error = what + ": " + std::strerror(errno);
    return false;
  }

  bool writeAll(const std::string& line) {
    std::size_t sent = 0;
    while (sent < line.size()) {
      const ssize_t written = write(fd_, line.data() + sent, line.size() - sent);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      sent += static_cast<std::size_t>(written);
    }
    return true;
  }

  int fd_ = -1;
  std::string reply_;
  char buffer_[4096];
};

}  // namespace
}  // namespace benchfloor

int main(int argc, char** argv) {
  auto tty = std::make_shared<benchfloor::PosixTty>();
  return benchfloor::floorMain(
      argc, argv,
      [tty](const std::string& port, benchfloor::Transact* transact, std::string* error) {
        if (!tty->open(port, error)) return false;
        *transact = [tty](const std::string& line) { return tty->transact(line); };
        return true;
      });
}
