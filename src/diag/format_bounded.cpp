#include "diag/format_bounded.h"

#include <cstdarg>
#include <cstdio>

namespace tarnwick {

std::int32_t formatBounded(char* buffer, std::uint32_t size, const char* format, ...) {
  if (size == 0 || size > 0x7FFFFFFFu) return kFormatInvalidArgument;
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  if (length < 0) {
    buffer[size - 1] = '\0';
    return kFormatInsufficientBuffer;
  }
  if (static_cast<std::uint32_t>(length) > size - 1) {
    buffer[size - 1] = '\0';
    return kFormatInsufficientBuffer;
  }
  return kFormatOk;
}

}  // namespace tarnwick
