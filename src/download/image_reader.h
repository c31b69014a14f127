#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/image_file.h"

namespace tarnwick {

// Reads an open image in large blocks and hands it out packet by packet, so
// a download makes one file read per block instead of one per packet. It
// never reads past `limit` bytes from the start: bytes a writer appends
// during the download are not part of the image.
class ImageReader {
 public:
  ImageReader(ImageFile& file, std::uint64_t limit);

  // The next `wanted` bytes of the image, fewer only where the file ends
  // (or has become shorter): `got` is 0 after its end. False when the file
  // reports an error.
  bool read(unsigned char* packet, std::size_t wanted, std::size_t& got);

 private:
  bool refill();

  static constexpr std::size_t kBlockSize = 64 * 1024;
  ImageFile& file_;
  std::uint64_t unread_;  // bytes up to the limit not yet taken from the file
  std::vector<unsigned char> block_;
  std::size_t start_ = 0;
  std::size_t end_ = 0;
};

}  // namespace tarnwick
