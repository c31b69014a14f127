#pragma once

#include <cstdint>

namespace tarnwick {

// Status codes of formatBounded, in the HRESULT style: 0 is success and the
// failures are negative as signed 32-bit values.
constexpr std::int32_t kFormatOk = 0;
constexpr std::int32_t kFormatInvalidArgument = static_cast<std::int32_t>(0x80070057u);
constexpr std::int32_t kFormatInsufficientBuffer = static_cast<std::int32_t>(0x8007007Au);

// printf-style formatting into `buffer` of `size` bytes that never writes
// past it and always leaves it terminated (unless the size is refused).
// Returns kFormatInvalidArgument for a size of 0 or above 0x7FFFFFFF (the
// buffer untouched), kFormatInsufficientBuffer when the text was cut.
std::int32_t formatBounded(char* buffer, std::uint32_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace tarnwick
