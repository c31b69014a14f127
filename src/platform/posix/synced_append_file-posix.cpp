#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/last_error.h"
#include "platform/synced_append_file.h"

namespace tarnwick {
namespace {

class PosixSyncedAppendFile final : public SyncedAppendFile {
 public:
  ~PosixSyncedAppendFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool open(const std::string& path, std::string& why) override {
    path_ = path;
    const int fd = openRegular(path, why);
    if (fd < 0) return false;
    fd_ = fd;
    startOnNewLine_ = endsInTornLine();
    return true;
  }

  bool append(const std::string& text) override {
    const off_t before = ::lseek(fd_, 0, SEEK_END);
    if (before < 0) return false;
    const std::string whole = (startOnNewLine_ ? "\n" : "") + text;
    if (writeAll(whole) && fsync(fd_) == 0) {
      startOnNewLine_ = false;
      return true;
    }
    // Nothing of a record that is not all there stays behind it.
    while (::ftruncate(fd_, before) != 0 && errno == EINTR) {
    }
    fsync(fd_);
    return false;
  }

  bool followPath(std::string& what) override {
    struct stat named {};
    struct stat open {};
    if (::stat(path_.c_str(), &named) == 0 && fstat(fd_, &open) == 0 &&
        named.st_dev == open.st_dev && named.st_ino == open.st_ino) {
      return false;
    }
    std::string why;
    const int fd = openRegular(path_, why);
    if (fd < 0) {
      what = "it is gone and cannot be created again: " + why;
      return true;
    }
    ::close(fd_);
    fd_ = fd;
    startOnNewLine_ = endsInTornLine();
    what = "it was deleted or renamed; it is created again";
    return true;
  }

 private:
  // O_NONBLOCK keeps a FIFO without a reader from holding the open; on a
  // regular file it changes nothing.
  static int openRegular(const std::string& path, std::string& why) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
      why = "not a regular file";
      return -1;
    }
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
      systemErrorText(lastErrorCode(), why);
      return -1;
    }
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      ::close(fd);
      why = "not a regular file";
      return -1;
    }
    return fd;
  }

  // A file cut at its last byte by an earlier run (a crash, a full disk)
  // keeps that fragment: starting the next record on a new line leaves the
  // fragment a line of its own, which a reader skips, and loses nothing
  // (the fragment may be a whole record that lacks only its newline, which
  // cutting it away would lose).
  bool endsInTornLine() const {
    const off_t size = ::lseek(fd_, 0, SEEK_END);
    if (size <= 0) return false;
    const int reader = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (reader < 0) return false;
    char last = '\n';
    const bool read = ::pread(reader, &last, 1, size - 1) == 1;
    ::close(reader);
    return read && last != '\n';
  }

  bool writeAll(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      ssize_t count = ::write(fd_, text.data() + done, text.size() - done);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) return false;
      done += static_cast<std::size_t>(count);
    }
    return true;
  }

  std::string path_;
  int fd_ = -1;
  bool startOnNewLine_ = false;
};

}  // namespace

std::unique_ptr<SyncedAppendFile> makeSystemSyncedAppendFile() {
  return std::make_unique<PosixSyncedAppendFile>();
}

}  // namespace tarnwick
