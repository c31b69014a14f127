// The four download commands, each one AT transaction on the link's own
// reply buffers.
#include "atlink/at_commands.h"
#include "atlink/at_interface.h"
#include "download/packet_size_parse.h"

namespace tarnwick {

bool AtInterface::queryPacketSize(int& packetSize) {
  if (!sendCommand(at_command::kQueryPacketSize, rawReply_, replyBody_)) return false;
  return parseLeadingInteger(replyBody_, packetSize);
}

bool AtInterface::beginDownload() {
  return sendCommand(at_command::kBeginDownload, rawReply_, replyBody_);
}

bool AtInterface::sendImagePacket(const std::string& packetText) {
  // Built in a buffer kept from packet to packet: no allocation per packet.
  packetCommand_.assign(at_command::kImagePacketStart).append(packetText);
  packetCommand_.append(at_command::kImagePacketEnd);
  return sendCommand(packetCommand_, rawReply_, replyBody_);
}

bool AtInterface::endDownload() {
  return sendCommand(at_command::kEndDownload, rawReply_, replyBody_);
}

}  // namespace tarnwick
