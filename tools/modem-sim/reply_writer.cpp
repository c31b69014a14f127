#include "reply_writer.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace modemsim {

WriteOutcome ReplyWriter::waitForRoom(std::int64_t stallMs) const {
  struct pollfd entries[2] = {{fd_, POLLOUT, 0}, {stop_.fd(), POLLIN, 0}};
  const int ready = poll(entries, 2, stop_.boundTimeout(stallMs));
  if (stop_.stopRequested()) return WriteOutcome::Stopped;
  if (ready < 0 && errno != EINTR) return WriteOutcome::Failed;
  if (ready == 0) return WriteOutcome::Stalled;
  if ((entries[0].revents & (POLLERR | POLLNVAL)) != 0) return WriteOutcome::Failed;
  // A hung-up line has no client left to read: the same as one that stalls.
  if ((entries[0].revents & POLLHUP) != 0) return WriteOutcome::Stalled;
  return WriteOutcome::Done;
}

WriteOutcome ReplyWriter::writeAll(const char* data, std::size_t size, std::int64_t stallMs) const {
  while (size > 0) {
    const ssize_t written = write(fd_, data, size);
    if (written > 0) {
      data += written;
      size -= static_cast<std::size_t>(written);
      continue;
    }
    if (written < 0 && errno != EAGAIN && errno != EINTR) return WriteOutcome::Failed;
    const WriteOutcome waited = waitForRoom(stallMs);
    if (waited != WriteOutcome::Done) return waited;
  }
  return WriteOutcome::Done;
}

WriteOutcome ReplyWriter::writeSlowly(const std::string& bytes, std::int64_t delayMs) const {
  for (std::string::size_type i = 0; i < bytes.size(); ++i) {
    if (i > 0 && !stop_.pause(delayMs)) return WriteOutcome::Stopped;
    const WriteOutcome outcome = writeAll(&bytes[i], 1, -1);
    if (outcome != WriteOutcome::Done) return outcome;
  }
  return WriteOutcome::Done;
}

}  // namespace modemsim
