#include "platform/build_name.h"

namespace tarnwick {

const char* buildName() {
  return "Windows";
}

}  // namespace tarnwick
