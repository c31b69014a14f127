#include "platform/console.h"

namespace tarnwick {

// POSIX streams never translate line ends.
void prepareConsole() {}

}  // namespace tarnwick
