#pragma once

#include <string>

#include "platform/image_file.h"

namespace tarnwick {

// The SHA-256 of the open `image` (its first `size` bytes, read at their
// offsets) as 64 lower-case hex digits. False when the file cannot be read
// or the system's hash fails.
bool sha256OfImage(ImageFile& image, std::uint64_t size, std::string& hex);

}  // namespace tarnwick
