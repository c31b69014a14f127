#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include "platform/random_uuid.h"

namespace tarnwick {

std::string randomUuid() {
  unsigned char bytes[16] = {};
  const NTSTATUS status =
      BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status < 0) return "";
  return uuidTextV4(bytes);
}

}  // namespace tarnwick
