#include "station/run/image_hash.h"

#include <vector>

namespace tarnwick {

std::string sha256Hex(const Sha256::Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : digest) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  return hex;
}

bool sha256OfImage(ImageFile& image, std::uint64_t size, std::string& hex) {
  std::unique_ptr<Sha256> hash = makeSystemSha256();
  if (!hash) return false;
  std::vector<unsigned char> block(256 * 1024);
  std::uint64_t offset = 0;
  while (offset < size) {
    std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - offset));
    std::size_t got = 0;
    if (!image.readAt(offset, block.data(), wanted, got) || got == 0) return false;
    if (!hash->update(block.data(), got)) return false;
    offset += got;
  }
  Sha256::Digest digest{};
  if (!hash->finish(digest)) return false;
  hex = sha256Hex(digest);
  return true;
}

}  // namespace tarnwick
