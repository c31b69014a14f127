#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/terminal.h"

namespace tarnwick {

bool isTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) == 1;
}

bool enableTerminalEscapes(std::FILE* stream) {
  return isTerminal(stream);
}

std::size_t terminalColumns(std::FILE* stream) {
  winsize size{};
  if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

}  // namespace tarnwick
