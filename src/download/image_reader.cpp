#include "download/image_reader.h"

#include <algorithm>
#include <cstring>

namespace tarnwick {

ImageReader::ImageReader(ImageFile& file, std::uint64_t limit)
    : file_(file), unread_(limit), block_(kBlockSize) {}

bool ImageReader::refill() {
  std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSize, unread_));
  std::size_t got = 0;
  if (wanted > 0 && !file_.read(block_.data(), wanted, got)) return false;
  start_ = 0;
  end_ = got;
  unread_ -= got;
  return true;
}

bool ImageReader::read(unsigned char* packet, std::size_t wanted, std::size_t& got) {
  got = 0;
  if (start_ == end_ && !refill()) return false;
  got = std::min(wanted, end_ - start_);
  std::memcpy(packet, block_.data() + start_, got);
  start_ += got;
  return true;
}

}  // namespace tarnwick
