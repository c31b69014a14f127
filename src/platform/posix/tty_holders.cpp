#include "platform/posix/tty_holders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace tarnwick {
namespace {

// A directory listing that closes itself.
class Directory {
 public:
  explicit Directory(const std::string& path) : dir_(opendir(path.c_str())) {}
  ~Directory() {
    if (dir_ != nullptr) closedir(dir_);
  }
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  // The next entry's name; false at the end.
  bool next(std::string& name) {
    if (dir_ == nullptr) return false;
    while (dirent* entry = readdir(dir_)) {
      name = entry->d_name;
      if (name != "." && name != "..") return true;
    }
    return false;
  }

 private:
  DIR* dir_;
};

pid_t parsePid(const std::string& name) {
  if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) return 0;
  return static_cast<pid_t>(std::strtol(name.c_str(), nullptr, 10));
}

bool holdsDevice(const std::string& fdDir, dev_t device) {
  Directory fds(fdDir);
  std::string name;
  while (fds.next(name)) {
    struct stat info {};
    if (stat((fdDir + "/" + name).c_str(), &info) == 0 && S_ISCHR(info.st_mode) &&
        info.st_rdev == device) {
      return true;
    }
  }
  return false;
}

std::string commandOf(const std::string& procDir) {
  std::ifstream in(procDir + "/comm");
  std::string command;
  std::getline(in, command);
  return command.empty() ? "?" : command;
}

}  // namespace

bool findOtherTtyHolder(int fd, TtyHolder& holder, const std::string& procRoot) {
  const int saved = errno;
  struct stat own {};
  bool found = false;
  if (fstat(fd, &own) == 0 && S_ISCHR(own.st_mode)) {
    const pid_t self = getpid();
    Directory processes(procRoot);
    std::string name;
    while (!found && processes.next(name)) {
      const pid_t pid = parsePid(name);
      if (pid == 0 || pid == self) continue;
      const std::string procDir = procRoot + "/" + name;
      if (holdsDevice(procDir + "/fd", own.st_rdev)) {
        holder.pid = pid;
        holder.command = commandOf(procDir);
        found = true;
      }
    }
  }
  errno = saved;
  return found;
}

}  // namespace tarnwick
