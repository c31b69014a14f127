#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "platform/random_uuid.h"

namespace tarnwick {
namespace {

// getrandom waits only until the kernel's pool is first seeded (early at
// boot); /dev/urandom is for kernels or sandboxes without the call.
bool fillFromGetrandom(unsigned char* out, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = getrandom(out + done, size - done, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool fillFromUrandom(unsigned char* out, std::size_t size) {
  const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, out + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  ::close(fd);
  return done == size;
}

}  // namespace

std::string randomUuid() {
  unsigned char bytes[16] = {};
  if (!fillFromGetrandom(bytes, sizeof bytes) && !fillFromUrandom(bytes, sizeof bytes)) return "";
  return uuidTextV4(bytes);
}

}  // namespace tarnwick
