#pragma once

#include <cstddef>
#include <string>

namespace tarnwick {
namespace testing {

// Bytes as a C-like literal body, so that NULs, line ends and other control
// bytes can be compared as text: \\ \" \0 \r \n \t, other bytes outside
// printable ASCII as \xHH, the rest unchanged.
std::string escapeBytes(const char* data, std::size_t size);

}  // namespace testing
}  // namespace tarnwick
