#pragma once

#include <sys/types.h>

#include <string>

namespace tarnwick {

// A process that has a tty open.
struct TtyHolder {
  pid_t pid = 0;
  std::string command;  // its command name, as /proc/<pid>/comm gives it
};

// Looks, as fuser does, through /proc/<pid>/fd of every process but this
// one for a descriptor of the same character device as `fd`. True with the
// first one found. Processes whose descriptors cannot be read (another
// user's) are passed over: where nothing can be seen, nothing is found.
// A process that also holds the master side of the same pty is the
// device's own far end and is passed over too.
bool findOtherTtyHolder(int fd, TtyHolder& holder, const std::string& procRoot = "/proc");

// The same for the tty at `path`, for when it could not be opened at all
// (another holder's exclusive use).
bool findTtyHolderByPath(const std::string& path, TtyHolder& holder,
                         const std::string& procRoot = "/proc");

}  // namespace tarnwick
