#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/durable_file.h"
#include "platform/last_error.h"

namespace tarnwick {
namespace {

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
    why = lastErrorLine("cannot open the folder of " + path);
    return false;
  }
  const bool synced = ::fsync(fd) == 0;
  if (!synced) why = lastErrorLine("cannot sync the folder of " + path);
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
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    why = lastErrorLine("cannot create " + path);
    return false;
  }
  // The umask only takes bits away, and a leftover file keeps its own mode.
  bool written = ::fchmod(fd, 0600) == 0;
  if (!written) why = lastErrorLine("cannot make " + path + " private");
  if (written && !writeAll(fd, bytes)) {
    why = lastErrorLine("cannot write " + path);
    written = false;
  }
  if (written && ::fsync(fd) != 0) {
    why = lastErrorLine("cannot sync " + path);
    written = false;
  }
  if (::close(fd) != 0 && written) {
    why = lastErrorLine("cannot close " + path);
    written = false;
  }
  return written;
}

// One folder, private: made with 0700 and set to it at once, since the umask
// may have taken the owner's bits, which the folders below it need. One
// already there is left as it is.
bool createPrivateFolder(const std::string& path, std::string& why) {
  if (::mkdir(path.c_str(), 0700) == 0) {
    if (::chmod(path.c_str(), 0700) == 0) return true;
    why = lastErrorLine("cannot make the folder " + path + " private");
    return false;
  }
  const int error = errno;
  struct stat status;
  if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) return true;
  setLastErrorCode(error);
  why = lastErrorLine("cannot create the folder " + path);
  return false;
}

}  // namespace

bool writeFileDurably(const std::string& path, const std::string& bytes, std::string& why) {
  const std::string temp = path + kDurableTempSuffix;
  if (!writeSynced(temp, bytes, why)) {
    ::unlink(temp.c_str());
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    why = lastErrorLine("cannot rename " + temp + " to " + path);
    ::unlink(temp.c_str());
    return false;
  }
  return syncFolder(path, why);
}

bool removeFileDurably(const std::string& path, std::string& why) {
  if (::unlink(path.c_str()) != 0) {
    why = lastErrorLine("cannot delete " + path);
    return false;
  }
  return syncFolder(path, why);
}

// Each folder of the path in turn, from the top ("a//b/" is "a", then "a//b").
bool createPrivateFolders(const std::string& path, std::string& why) {
  if (path.empty()) {
    why = "no folder named";
    return false;
  }
  for (std::string::size_type end = 1; end <= path.size(); ++end) {
    if (end < path.size() && path[end] != '/') continue;
    if (path[end - 1] == '/') continue;
    if (!createPrivateFolder(path.substr(0, end), why)) return false;
  }
  return true;
}

}  // namespace tarnwick
