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
bool findOtherTtyHolder(int fd, TtyHolder& holder, const std::string& procRoot = "/proc");

}  // namespace tarnwick
