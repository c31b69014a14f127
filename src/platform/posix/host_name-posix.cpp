#include <unistd.h>

#include "platform/host_name.h"

namespace tarnwick {

std::string hostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "unknown";
  return name;
}

}  // namespace tarnwick
