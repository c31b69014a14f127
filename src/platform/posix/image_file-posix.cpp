#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/image_file.h"

namespace tarnwick {
namespace {

class PosixImageFile : public ImageFile {
 public:
  ~PosixImageFile() override { close(); }

  // Opened without blocking, so that a FIFO or a device cannot hold the
  // open up, and refused unless it is a regular file.
  bool open(const std::string& path) override {
    close();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat info {};
    int reason = 0;
    if (fstat(fd, &info) != 0) {
      reason = errno;
    } else if (S_ISDIR(info.st_mode)) {
      reason = EISDIR;
    } else if (!S_ISREG(info.st_mode)) {
      reason = EINVAL;
    } else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
      reason = errno;
    }
    if (reason != 0) {
      ::close(fd);
      errno = reason;
      return false;
    }
    fd_ = fd;
    path_ = path;
    opened_ = info;
    size_ = static_cast<std::uint64_t>(info.st_size);
    return true;
  }

  // Linux has no share modes: another program may write the file while it
  // is sent. Its identity (device and inode, by its name too) and its state
  // (size, modification and change times to the nanosecond) must be those
  // it had when it was opened.
  bool unchangedSinceOpen() override {
    if (fd_ < 0) return false;
    const int saved = errno;
    struct stat now {};
    struct stat named {};
    const bool same = fstat(fd_, &now) == 0 && stat(path_.c_str(), &named) == 0 &&
                      sameFile(now, opened_) && sameFile(named, opened_) &&
                      now.st_size == opened_.st_size && sameTime(now.st_mtim, opened_.st_mtim) &&
                      sameTime(now.st_ctim, opened_.st_ctim);
    errno = saved;
    return same;
  }

  std::uint64_t size() override { return size_; }

  bool read(unsigned char* buffer, std::size_t capacity, std::size_t& got) override {
    got = 0;
    for (;;) {
      ssize_t count = ::read(fd_, buffer, capacity);
      if (count >= 0) {
        got = static_cast<std::size_t>(count);
        return true;
      }
      if (errno != EINTR) return false;
    }
  }

  bool readAt(std::uint64_t offset, unsigned char* buffer, std::size_t capacity,
              std::size_t& got) override {
    got = 0;
    for (;;) {
      ssize_t count = ::pread(fd_, buffer, capacity, static_cast<off_t>(offset));
      if (count >= 0) {
        got = static_cast<std::size_t>(count);
        return true;
      }
      if (errno != EINTR) return false;
    }
  }

  void close() override {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
  }

 private:
  static bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
  }
  static bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
  }

  int fd_ = -1;
  std::string path_;
  struct stat opened_ {};
  std::uint64_t size_ = 0;
};

}  // namespace

std::unique_ptr<ImageFile> makeSystemImageFile() {
  return std::make_unique<PosixImageFile>();
}

// Linux has no share modes: every open is shared, and a change made while
// the file is open shows in `unchangedSinceOpen`.
std::unique_ptr<ImageFile> makeReadSharedImageFile() {
  return std::make_unique<PosixImageFile>();
}

}  // namespace tarnwick
