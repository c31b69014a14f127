// Sends a firmware image to the modem: packet size, start, one packet per
// command in file order, end. Strict stop-and-wait; the first failure ends it.
#include <cstdint>
#include <string>

#include "atlink/at_interface.h"
#include "diag/report_system_error.h"
#include "download/image_limits.h"
#include "download/image_reader.h"
#include "platform/last_error.h"
#include "text/byte_to_hex.h"

namespace tarnwick {
namespace {

constexpr std::size_t kLargestPacket = 512;

}  // namespace

bool AtInterface::downloadImage(std::string path) {
  lastFailure_ = LinkFailure();
  std::unique_ptr<ImageFile> image = openImageFile_();
  if (!image->open(path)) {
    const int code = lastErrorCode();
    reportSystemError(*sink_, "Tarnwick\n");
    noteFailure(FailureKind::ImageOpen, code);
    return false;
  }
  // An image too large to be sent whole, or one with nothing in it, is
  // refused before the modem hears of it: neither would leave the modem
  // with the firmware the file was meant to be.
  const std::uint64_t imageSize = image->size();
  if (imageSize > kLargestImageSize) {
    sink_->message("image " + path + " is 4 GiB or larger - too large to download\n");
    noteFailure(FailureKind::ImageTooLarge);
    image->close();
    return false;
  }
  if (imageSize == 0) {
    sink_->warning("image " + path + " is empty - nothing to download\n");
    noteFailure(FailureKind::ImageEmpty);
    image->close();
    return false;
  }

  sink_->downloadStep(DownloadStep::PacketSize, 0, 0);
  int packetSize = 0;
  bool ok = queryPacketSize(packetSize) && packetSize > 0;
  if (!ok && lastFailure_.kind == FailureKind::None) noteFailure(FailureKind::BadPacketSize);
  if (packetSize > static_cast<int>(kLargestPacket)) packetSize = kLargestPacket;
  sink_->message("downloading " + path +
                 " - \nthis will take up to 3 minutes.\n Please wait....\n\n");
  if (ok) {
    sink_->downloadStep(DownloadStep::Begin, 0, 0);
    ok = beginDownload();
  }
  ok = ok && sendPackets(*image, imageSize, static_cast<std::size_t>(packetSize));
  if (ok && !image->unchangedSinceOpen()) {
    sink_->message("image " + path + " changed while it was sent - download not finished\n");
    noteFailure(FailureKind::ImageChanged);
    ok = false;
  }
  if (ok) {
    sink_->downloadStep(DownloadStep::End, 0, 0);
    ok = endDownload();
  }
  image->close();
  return ok;
}

// One command per packet, in file order, each answered with OK before the
// next; the first failure ends the loop.
bool AtInterface::sendPackets(ImageFile& image, std::uint64_t imageSize, std::size_t packetSize) {
  const auto packets = static_cast<std::uint32_t>((imageSize + packetSize - 1) / packetSize);
  ImageReader reader(image, imageSize);
  unsigned char packet[kLargestPacket];
  std::string packetText;
  packetText.reserve(2 * kLargestPacket);
  std::uint64_t bytesSent = 0;
  bool ok = true;
  for (std::uint32_t number = 1; ok && bytesSent < imageSize; ++number) {
    sink_->downloadStep(DownloadStep::Packet, number, packets);
    std::size_t got = 0;
    const bool read = reader.read(packet, packetSize, got);
    ok = read && got > 0;
    if (!ok) {
      noteFailure(FailureKind::ImageRead, read ? 0 : lastErrorCode());
    } else {
      packetText.clear();
      appendHex(packetText, packet, got);
      ok = sendImagePacket(packetText);
      bytesSent += got;
    }
    sink_->packetDone(number, packets, bytesSent, imageSize, ok);
  }
  return ok;
}

}  // namespace tarnwick
