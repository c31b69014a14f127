#include "final_result.h"

#include <cstring>

namespace benchfloor {
namespace {

bool endsWith(const char* reply, std::size_t size, const char* tail) {
  const std::size_t length = std::strlen(tail);
  return size >= length && std::memcmp(reply + size - length, tail, length) == 0;
}

}  // namespace

FinalResult finalResultOf(const char* reply, std::size_t size) {
  if (endsWith(reply, size, "\r\nOK\r\n")) return FinalResult::Ok;
  if (endsWith(reply, size, "\r\nERROR\r\n")) return FinalResult::Error;
  return FinalResult::Pending;
}

FinalResult finalResultIn(const char* reply, std::size_t size, std::size_t from) {
  while (from < size) {
    const void* lineFeed = std::memchr(reply + from, '\n', size - from);
    if (lineFeed == nullptr) break;
    const std::size_t end = static_cast<const char*>(lineFeed) - reply + 1;
    const FinalResult result = finalResultOf(reply, end);
    if (result != FinalResult::Pending) return result;
    from = end;
  }
  return FinalResult::Pending;
}

}  // namespace benchfloor
