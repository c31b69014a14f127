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
  // A packet is filled across block ends, so the image goes out in packets
  // of the full size, as read straight from the file, but for its last.
  got = 0;
  while (got < wanted) {
    if (start_ == end_) {
      if (!refill()) return false;
      if (end_ == 0) break;  // the file ended
    }
    std::size_t take = std::min(wanted - got, end_ - start_);
    std::memcpy(packet + got, block_.data() + start_, take);
    start_ += take;
    got += take;
  }
  return true;
}

}  // namespace tarnwick
