#pragma once

#include <cstdint>

namespace tarnwick {

// Sizes are counted in 32 bits on the modem's side of the protocol, so an
// image of 4 GiB or more cannot be sent whole.
constexpr std::uint64_t kLargestImageSize = 0xFFFFFFFFull;

}  // namespace tarnwick
