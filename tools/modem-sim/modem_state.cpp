#include "modem_state.h"

#include <cstdio>
#include <utility>

#include "image_output.h"

namespace modemsim {
namespace {

const char kPacketPrefix[] = "AT%DNLIMG=\"";
const std::size_t kPacketPrefixLength = sizeof kPacketPrefix - 1;
const std::size_t kLargestPacket = 512;

ModemAnswer okAnswer() {
  return ModemAnswer{false, std::string(), true};
}
ModemAnswer errorAnswer() {
  return ModemAnswer{false, std::string(), false};
}
ModemAnswer infoAnswer(const std::string& info) {
  return ModemAnswer{true, info, true};
}

int upperHexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

CommandKind classifyCommand(const std::string& text) {
  if (text == "AT") return CommandKind::Attention;
  if (text == "AT+CGMR") return CommandKind::Version;
  if (text == "AT+CGSN") return CommandKind::SerialNumber;
  if (text == "AT%DNLPK?") return CommandKind::PacketSizeQuery;
  if (text == "AT%DNL=1") return CommandKind::BeginDownload;
  if (text == "AT%DNL=0") return CommandKind::EndDownload;
  if (text.compare(0, kPacketPrefixLength, kPacketPrefix) == 0) return CommandKind::ImagePacket;
  return CommandKind::Unknown;
}

std::size_t maxPacketTextLength(const std::string& packetSizeText) {
  std::size_t i = 0;
  while (i < packetSizeText.size() && isSpace(packetSizeText[i])) ++i;
  bool negative = false;
  if (i < packetSizeText.size() && (packetSizeText[i] == '+' || packetSizeText[i] == '-')) {
    negative = packetSizeText[i] == '-';
    ++i;
  }
  std::size_t value = 0;
  for (; i < packetSizeText.size() && packetSizeText[i] >= '0' && packetSizeText[i] <= '9'; ++i) {
    value = value * 10 + static_cast<std::size_t>(packetSizeText[i] - '0');
    if (value > kLargestPacket) value = kLargestPacket;
  }
  return negative ? 0 : 2 * value;
}

ModemState::ModemState(ModemConfig config)
    : config_(std::move(config)), maxPacketText_(maxPacketTextLength(config_.packetSizeText)) {}

ModemAnswer ModemState::execute(CommandKind kind, const std::string& text) {
  switch (kind) {
    case CommandKind::Attention:
      return okAnswer();
    case CommandKind::Version:
      return infoAnswer(downloaded_ && !config_.versionAfterDownload.empty()
                            ? config_.versionAfterDownload
                            : config_.versionText);
    case CommandKind::SerialNumber:
      return config_.imei.empty() ? errorAnswer() : infoAnswer(config_.imei);
    case CommandKind::PacketSizeQuery:
      return infoAnswer(config_.packetSizeText);
    case CommandKind::BeginDownload:
      downloadActive_ = true;
      image_.clear();
      return okAnswer();
    case CommandKind::ImagePacket:
      return takePacket(text);
    case CommandKind::EndDownload:
      return endDownload();
    case CommandKind::Unknown:
      break;
  }
  return errorAnswer();
}

ModemAnswer ModemState::takePacket(const std::string& text) {
  // Between the prefix and the closing quote: an even, non-zero number of
  // upper-case hexadecimal digits, within the packet size.
  if (!downloadActive_ || text.size() < kPacketPrefixLength + 1 || text.back() != '"') {
    return errorAnswer();
  }
  const std::size_t hexLength = text.size() - kPacketPrefixLength - 1;
  if (hexLength == 0 || hexLength % 2 != 0 || (maxPacketText_ != 0 && hexLength > maxPacketText_)) {
    return errorAnswer();
  }
  const char* hex = text.data() + kPacketPrefixLength;
  const std::size_t oldSize = image_.size();
  image_.resize(oldSize + hexLength / 2);
  for (std::size_t i = 0; i < hexLength; i += 2) {
    const int high = upperHexValue(hex[i]);
    const int low = upperHexValue(hex[i + 1]);
    if (high < 0 || low < 0) {
      image_.resize(oldSize);
      return errorAnswer();
    }
    image_[oldSize + i / 2] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return okAnswer();
}

ModemAnswer ModemState::endDownload() {
  if (!downloadActive_) return errorAnswer();
  std::string error;
  if (!config_.imageOut.empty() && !writeFileAtomically(config_.imageOut, image_, &error)) {
    std::fprintf(stderr, "modem-sim: %s\n", error.c_str());
    return errorAnswer();
  }
  downloadActive_ = false;
  downloaded_ = true;
  std::fprintf(stderr, "modem-sim: download ended, %zu bytes\n", image_.size());
  return okAnswer();
}

}  // namespace modemsim
