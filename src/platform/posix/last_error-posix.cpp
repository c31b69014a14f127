#include <cerrno>
#include <cstring>

#include "platform/last_error.h"

namespace tarnwick {

int lastErrorCode() {
  return errno;
}

void setLastErrorCode(int code) {
  errno = code;
}

bool systemErrorText(int code, std::string& text) {
  // strerror_r (GNU flavour) never fails; it says "Unknown error N" itself
  // for codes the C library does not know.
  char buffer[256];
  text = strerror_r(code, buffer, sizeof buffer);
  return true;
}

}  // namespace tarnwick
