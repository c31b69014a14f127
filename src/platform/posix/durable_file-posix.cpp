#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/durable_file.h"
#include "platform/last_error.h"

namespace tarnwick {
namespace {

std::string errorText(const std::string& doing) {
  std::string text;
  systemErrorText(lastErrorCode(), text);
  return doing + ": " + text;
}

std::string folderOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A rename or an unlink is on disk only once its folder is synced.
bool syncFolder(const std::string& path, std::string& why) {
  const int fd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    why = errorText("cannot open the folder of " + path);
    return false;
  }
  const bool synced = ::fsync(fd) == 0;
  if (!synced) why = errorText("cannot sync the folder of " + path);
  ::close(fd);
  return synced;
}

bool writeAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    done += static_cast<std::size_t>(count);
  }
  return true;
}

bool writeSynced(const std::string& path, const std::string& bytes, std::string& why) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    why = errorText("cannot create " + path);
    return false;
  }
  bool written = writeAll(fd, bytes);
  if (!written) why = errorText("cannot write " + path);
  if (written && ::fsync(fd) != 0) {
    why = errorText("cannot sync " + path);
    written = false;
  }
  if (::close(fd) != 0 && written) {
    why = errorText("cannot close " + path);
    written = false;
  }
  return written;
}

}  // namespace

bool writeFileDurably(const std::string& path, const std::string& bytes, std::string& why) {
  const std::string temp = path + kDurableTempSuffix;
  if (!writeSynced(temp, bytes, why)) {
    ::unlink(temp.c_str());
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    why = errorText("cannot rename " + temp + " to " + path);
    ::unlink(temp.c_str());
    return false;
  }
  return syncFolder(path, why);
}

bool removeFileDurably(const std::string& path, std::string& why) {
  if (::unlink(path.c_str()) != 0) {
    why = errorText("cannot delete " + path);
    return false;
  }
  return syncFolder(path, why);
}

}  // namespace tarnwick
