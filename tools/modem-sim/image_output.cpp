#include "image_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace modemsim {
namespace {

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

bool writeFileAtomically(const std::string& path, const std::vector<std::uint8_t>& data,
                         std::string* error) {
  const std::string temporary = path + ".part." + std::to_string(getpid());
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot create " + temporary + ": " + std::strerror(errno);
    return false;
  }
  const bool written = writeAll(fd, data.data(), data.size());
  const int writeErrno = errno;
  const bool closed = close(fd) == 0;
  if (!written || !closed) {
    *error = "cannot write " + temporary + ": " + std::strerror(written ? errno : writeErrno);
    unlink(temporary.c_str());
    return false;
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot rename to " + path + ": " + std::strerror(errno);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace modemsim
