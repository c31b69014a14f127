#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_lock.h"
#include "platform/last_error.h"

namespace tarnwick {
namespace {

// What the holder wrote, at most one short line.
std::string holderOf(int fd) {
  char text[256];
  const ssize_t count = ::pread(fd, text, sizeof text - 1, 0);
  std::string holder(text, count > 0 ? static_cast<std::size_t>(count) : 0);
  while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\0')) holder.pop_back();
  return holder.empty() ? "another program" : holder;
}

}  // namespace

FileLock::~FileLock() {
  release();
}

FileLock::Take FileLock::take(const std::string& path, const std::string& holder,
                              std::string& why) {
  release();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    why = lastErrorLine("cannot open " + path);
    return Take::Failed;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool busy = errno == EWOULDBLOCK;
    why = busy ? holderOf(fd) : lastErrorLine("cannot lock " + path);
    ::close(fd);
    return busy ? Take::Busy : Take::Failed;
  }
  // Who holds it is only a help to whoever finds it taken: a failed write
  // leaves the lock held all the same.
  const std::string line = holder + " (pid " + std::to_string(::getpid()) + ")\n";
  if (::ftruncate(fd, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(fd, line.data(), line.size(), 0);
  }
  handle_ = fd;
  return Take::Taken;
}

void FileLock::release() {
  if (handle_ == kNone) return;
  ::close(static_cast<int>(handle_));  // closing the descriptor lets go of the lock
  handle_ = kNone;
}

}  // namespace tarnwick
