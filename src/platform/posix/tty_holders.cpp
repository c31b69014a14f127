#include "platform/posix/tty_holders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// /dev/ptmx (and /dev/pts/ptmx): a descriptor of it is a pty's master.
const dev_t kPtyMultiplexer = makedev(5, 2);

// The index of the pseudo-terminal whose slave is `device` (the N of
// /dev/pts/N), or -1 when `device` is no pty slave (Unix98 slaves have the
// majors 136 to 143, 256 minors each).
long ptySlaveIndex(dev_t device) {
  const unsigned int majorNumber = major(device);
  if (majorNumber < 136 || majorNumber > 143) return -1;
  return static_cast<long>((majorNumber - 136) * 256 + minor(device));
}

// The pty index that /proc/<pid>/fdinfo/<fd> gives for a pty master
// ("tty-index:"), or -1.
long masterTtyIndex(const std::string& fdInfoPath) {
  std::ifstream in(fdInfoPath);
  const std::string key = "tty-index:";
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, key.size(), key) == 0)
      return std::strtol(line.c_str() + key.size(), nullptr, 10);
  }
  return -1;
}

// Whether the process at `procDir` has `device` open, and whether it also
// holds the master side of the same pty (`ptyIndex`, -1 for none).
struct DeviceUse {
  bool holdsDevice = false;
  bool holdsItsMaster = false;
};

DeviceUse useOf(const std::string& procDir, dev_t device, long ptyIndex) {
  DeviceUse use;
  const std::string fdDir = procDir + "/fd";
  Directory fds(fdDir);
  std::string name;
  while (fds.next(name)) {
    struct stat info {};
    if (stat((fdDir + "/" + name).c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) continue;
    if (info.st_rdev == device) use.holdsDevice = true;
    if (ptyIndex >= 0 && info.st_rdev == kPtyMultiplexer &&
        masterTtyIndex(procDir + "/fdinfo/" + name) == ptyIndex) {
      use.holdsItsMaster = true;
    }
  }
  return use;
}

// The process's command name. The kernel keeps only 15 bytes of it in
// comm; when its first argument's file name starts with those, that whole
// name is taken instead ("tarnwick-station", not "tarnwick-statio").
std::string commandOf(const std::string& procDir) {
  std::ifstream in(procDir + "/comm");
  std::string command;
  std::getline(in, command);
  if (command.empty()) return "?";
  std::ifstream arguments(procDir + "/cmdline");
  std::string first;
  std::getline(arguments, first, '\0');
  const std::size_t slash = first.rfind('/');
  if (slash != std::string::npos) first.erase(0, slash + 1);
  return first.size() > command.size() && first.compare(0, command.size(), command) == 0 ? first
                                                                                         : command;
}

bool findOtherHolderOfDevice(dev_t device, TtyHolder& holder, const std::string& procRoot) {
  const int saved = errno;
  const pid_t self = getpid();
  const long ptyIndex = ptySlaveIndex(device);
  bool found = false;
  Directory processes(procRoot);
  std::string name;
  while (!found && processes.next(name)) {
    const pid_t pid = parsePid(name);
    if (pid == 0 || pid == self) continue;
    const std::string procDir = procRoot + "/" + name;
    // A process that holds the pty's master is the device's own far end (a
    // software modem that also keeps the slave open), not another user.
    const DeviceUse use = useOf(procDir, device, ptyIndex);
    if (use.holdsDevice && !use.holdsItsMaster) {
      holder.pid = pid;
      holder.command = commandOf(procDir);
      found = true;
    }
  }
  errno = saved;
  return found;
}

}  // namespace

bool findOtherTtyHolder(int fd, TtyHolder& holder, const std::string& procRoot) {
  struct stat own {};
  const int saved = errno;
  const bool isDevice = fstat(fd, &own) == 0 && S_ISCHR(own.st_mode);
  errno = saved;
  return isDevice && findOtherHolderOfDevice(own.st_rdev, holder, procRoot);
}

bool findTtyHolderByPath(const std::string& path, TtyHolder& holder, const std::string& procRoot) {
  struct stat info {};
  const int saved = errno;
  const bool isDevice = stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
  errno = saved;
  return isDevice && findOtherHolderOfDevice(info.st_rdev, holder, procRoot);
}

}  // namespace tarnwick
