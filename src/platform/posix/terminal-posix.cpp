#include <unistd.h>

#include "platform/terminal.h"

namespace tarnwick {

bool isTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) == 1;
}

bool enableTerminalEscapes(std::FILE* stream) {
  return isTerminal(stream);
}

}  // namespace tarnwick
