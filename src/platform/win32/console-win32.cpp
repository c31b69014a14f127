#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/console.h"

namespace tarnwick {

// The C runtime opens the standard streams in text mode, which would turn
// every "\n" into "\r\n" and a modem's "\r\n" into "\r\r\n".
void prepareConsole() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

}  // namespace tarnwick
