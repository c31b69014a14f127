#include "cli/debug_mode.h"

namespace tarnwick {

bool debugMode = false;

}  // namespace tarnwick
