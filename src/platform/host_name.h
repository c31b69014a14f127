#pragma once

#include <string>

namespace tarnwick {

// The machine's name, or "unknown" when the system does not say.
std::string hostName();

}  // namespace tarnwick
