#include "pty_device.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace modemsim {
namespace {

std::string systemError(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

bool makeRaw(int fd, std::string* error) {
  struct termios settings;
  if (tcgetattr(fd, &settings) != 0) {
    *error = systemError("tcgetattr");
    return false;
  }
  cfmakeraw(&settings);
  if (tcsetattr(fd, TCSANOW, &settings) != 0) {
    *error = systemError("tcsetattr");
    return false;
  }
  return true;
}

std::string readLinkTarget(const std::string& path) {
  std::vector<char> buffer(4096);
  const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
  return length < 0 ? std::string() : std::string(buffer.data(), static_cast<size_t>(length));
}

}  // namespace

PtyDevice::~PtyDevice() {
  vanish();
}

bool PtyDevice::open(bool holdSlave, std::string* error) {
  masterFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (masterFd_ < 0) {
    *error = systemError("posix_openpt");
    return false;
  }
  if (grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0) {
    *error = systemError("grantpt/unlockpt");
    return false;
  }
  char name[256];
  if (ptsname_r(masterFd_, name, sizeof name) != 0) {
    *error = systemError("ptsname_r");
    return false;
  }
  slavePath_ = name;
  // Raw on both sides: no echo by the tty, no CR/LF translation either way.
  // The pty keeps the slave's settings while the master lives, so the slave
  // is opened only to set them: a client then finds no other opener of it.
  const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    *error = systemError("open pty slave");
    return false;
  }
  const bool raw = makeRaw(slave, error) && makeRaw(masterFd_, error);
  if (holdSlave) {
    heldSlaveFd_ = slave;
  } else {
    ::close(slave);
  }
  return raw;
}

bool PtyDevice::openExisting(const std::string& path, std::string* error) {
  masterFd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (masterFd_ < 0) {
    *error = systemError(("open " + path).c_str());
    return false;
  }
  existingTty_ = true;
  slavePath_ = path;
  return makeRaw(masterFd_, error);
}

bool PtyDevice::reopenExisting(std::string* error) {
  const int fresh = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fresh < 0) {
    *error = systemError(("open " + slavePath_).c_str());
    return false;
  }
  // dup2 keeps the descriptor number that the reply writer holds.
  const bool moved = dup3(fresh, masterFd_, O_CLOEXEC) >= 0;
  if (!moved) *error = systemError("dup3");
  ::close(fresh);
  if (!moved) return false;
  tcflush(masterFd_, TCIOFLUSH);
  return makeRaw(masterFd_, error);
}

bool PtyDevice::createLink(const std::string& linkPath, std::string* error) {
  struct stat info;
  if (lstat(linkPath.c_str(), &info) == 0) {
    if (!S_ISLNK(info.st_mode)) {
      *error = "--link " + linkPath + ": exists and is not a symlink";
      return false;
    }
    unlink(linkPath.c_str());
  }
  if (symlink(slavePath_.c_str(), linkPath.c_str()) != 0) {
    *error = systemError(("symlink " + linkPath).c_str());
    return false;
  }
  linkPath_ = linkPath;
  return true;
}

void PtyDevice::removeLink() {
  // Leave the link alone if someone has pointed it elsewhere meanwhile.
  if (!linkPath_.empty() && readLinkTarget(linkPath_) == slavePath_) unlink(linkPath_.c_str());
  linkPath_.clear();
}

void PtyDevice::vanish() {
  removeLink();
  if (heldSlaveFd_ >= 0) close(heldSlaveFd_);
  heldSlaveFd_ = -1;
  if (masterFd_ >= 0) close(masterFd_);
  masterFd_ = -1;
}

// The unread bytes wait in the slave's input queue; a descriptor of the
// slave opened for the moment reaches it.
void PtyDevice::discardUnreadOutput() {
  if (masterFd_ < 0) return;
  // On an existing tty the simulator's own output queue is what is left.
  if (existingTty_) {
    tcflush(masterFd_, TCOFLUSH);
    return;
  }
  const int slave = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave < 0) return;
  tcflush(slave, TCIFLUSH);
  ::close(slave);
}

}  // namespace modemsim
