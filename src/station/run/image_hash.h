#pragma once

#include <string>

#include "platform/image_file.h"
#include "platform/sha256.h"

namespace tarnwick {

// The SHA-256 of the open `image` (its first `size` bytes, read at their
// offsets) as 64 lower-case hex digits. False when the file cannot be read
// or the system's hash fails.
bool sha256OfImage(ImageFile& image, std::uint64_t size, std::string& hex);

// `digest` as 64 lower-case hex digits.
std::string sha256Hex(const Sha256::Digest& digest);

}  // namespace tarnwick
