#include <fcntl.h>
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
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) systemErrorText(lastErrorCode(), why);
    return fd_ >= 0;
  }

  bool append(const std::string& text) override {
    std::size_t done = 0;
    while (done < text.size()) {
      ssize_t count = ::write(fd_, text.data() + done, text.size() - done);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) return false;
      done += static_cast<std::size_t>(count);
    }
    return fsync(fd_) == 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<SyncedAppendFile> makeSystemSyncedAppendFile() {
  return std::make_unique<PosixSyncedAppendFile>();
}

}  // namespace tarnwick
