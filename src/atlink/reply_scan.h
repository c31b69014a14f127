#pragma once

#include <cstddef>
#include <string>

namespace tarnwick {

// What one scan of fetched bytes did: how many of them it took, and whether
// the last byte taken completed a terminator.
struct ReplyScan {
  std::size_t consumed = 0;
  bool found = false;
};

// Appends the `size` bytes at `run` to `reply` in order, NULs dropped, and
// stops right after the byte that completes `terminatorA` or `terminatorB`
// (either may be empty) as the reply's tail. Bytes after it are not taken.
// The bytes are searched for NULs and the terminators' last bytes in bulk;
// only those bytes are looked at one by one.
ReplyScan scanReplyRun(const char* run, std::size_t size, const std::string& terminatorA,
                       const std::string& terminatorB, std::string& reply);

}  // namespace tarnwick
