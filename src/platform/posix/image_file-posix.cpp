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

  bool open(const std::string& path) override {
    close();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
      int reason = S_ISDIR(info.st_mode) ? EISDIR : errno;
      ::close(fd);
      errno = reason;
      return false;
    }
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(info.st_size);
    return true;
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

  void close() override {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace

std::unique_ptr<ImageFile> makeSystemImageFile() {
  return std::make_unique<PosixImageFile>();
}

}  // namespace tarnwick
