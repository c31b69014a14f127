// Sends a firmware image to the modem: packet size, start, one packet per
// command in file order, end. Strict stop-and-wait; the first failure ends it.
#include <cstdint>
#include <cstdio>

#include "atlink/at_interface.h"
#include "diag/report_system_error.h"
#include "download/byte_to_hex.h"
#include "download/image_reader.h"
#include "download/spinner.h"

namespace tarnwick {
namespace {

constexpr int kLargestPacket = 512;
constexpr int kPacketsPerSpinnerStep = 10;

// Sizes are counted in 32 bits on the modem's side of the protocol, so an
// image of 4 GiB or more cannot be sent whole: it is refused before the
// modem hears of it, instead of being cut short and reported as finished.
constexpr std::uint64_t kLargestImage = 0xFFFFFFFFull;

}  // namespace

bool AtInterface::downloadImage(std::string path) {
  std::unique_ptr<ImageFile> image = openImageFile_();
  if (!image->open(path)) {
    reportSystemError("Tarnwick\n");
    return false;
  }
  const std::uint64_t imageSize = image->size();
  if (imageSize > kLargestImage) {
    std::printf("image %s is 4 GiB or larger - too large to download\n", path.c_str());
    image->close();
    return false;
  }

  int packetSize = 0;
  bool ok = queryPacketSize(packetSize) && packetSize > 0;
  if (packetSize > kLargestPacket) packetSize = kLargestPacket;
  std::printf("downloading %s - \nthis will take up to 3 minutes.\n Please wait....\n\n",
              path.c_str());
  ok = ok && beginDownload();

  ImageReader reader(*image, imageSize);
  unsigned char packet[kLargestPacket];
  std::string packetText;
  packetText.reserve(2 * kLargestPacket);
  std::uint64_t bytesSent = 0;
  for (unsigned packetNumber = 0; ok && bytesSent < imageSize; ++packetNumber) {
    std::size_t got = 0;
    ok = reader.read(packet, static_cast<std::size_t>(packetSize), got) && got > 0;
    if (ok) {
      packetText.clear();
      appendHex(packetText, packet, got);
      ok = sendImagePacket(packetText);
      bytesSent += got;
    }
    if (packetNumber % kPacketsPerSpinnerStep == 0) advanceSpinner();
  }

  ok = ok && endDownload();
  image->close();
  return ok;
}

}  // namespace tarnwick
