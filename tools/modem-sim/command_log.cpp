#include "command_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace modemsim {

CommandLog::~CommandLog() {
  if (fd_ >= 0) close(fd_);
}

bool CommandLog::open(const std::string& path, std::string* error) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    *error = "cannot open log " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void CommandLog::record(const std::string& command) {
  if (fd_ < 0) return;
  line_.assign(command);
  line_ += '\n';
  const char* data = line_.data();
  std::size_t left = line_.size();
  while (left > 0) {
    const ssize_t written = write(fd_, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    data += written;
    left -= static_cast<std::size_t>(written);
  }
}

}  // namespace modemsim
