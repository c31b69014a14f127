#include <csignal>

#include "platform/console.h"

namespace tarnwick {

// POSIX streams never translate line ends. A reader that closes its end of
// a pipe early must not end the program (a download would be left half
// done): the write fails instead, and the failure is ignored.
void prepareConsole() {
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace tarnwick
