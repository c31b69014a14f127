#include "platform/build_name.h"

namespace tarnwick {

const char* buildName() {
  return "Linux";
}

}  // namespace tarnwick
