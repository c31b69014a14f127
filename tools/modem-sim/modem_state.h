#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace modemsim {

enum class CommandKind {
  Attention,        // AT
  Version,          // AT+CGMR
  SerialNumber,     // AT+CGSN (the IMEI)
  PacketSizeQuery,  // AT%DNLPK?
  BeginDownload,    // AT%DNL=1
  ImagePacket,      // AT%DNLIMG="..." (well formed or not)
  EndDownload,      // AT%DNL=0
  Unknown,
};

CommandKind classifyCommand(const std::string& text);

// What the modem answers to one command, before any misbehaviour is applied.
struct ModemAnswer {
  bool hasInfo = false;
  std::string info;  // the information line's text, without its line ends
  bool ok = false;   // final result OK, else ERROR
};

struct ModemConfig {
  std::string versionText;
  std::string packetSizeText;
  std::string imageOut;  // empty: the image is only kept in memory
  // The version AT+CGMR gives once a download has ended (the firmware the
  // modem runs after its re-plug); empty: it keeps versionText.
  std::string versionAfterDownload;
  // The IMEI AT+CGSN gives; empty: the modem does not know the command.
  std::string imei;
};

// The longest packet text (hexadecimal characters) an AT%DNLIMG command may
// carry for a packet-size answer: twice the size read from its start the way
// the tool reads it (white space, sign, digits), at most 512 bytes. Zero
// means no limit, when the answer is no positive number.
std::size_t maxPacketTextLength(const std::string& packetSizeText);

// The modem's download state: whether a download runs and the image bytes
// received in it. AT%DNL=0 writes the image to the output file.
class ModemState {
 public:
  explicit ModemState(ModemConfig config);

  ModemAnswer execute(CommandKind kind, const std::string& text);

  bool downloadActive() const { return downloadActive_; }
  const std::vector<std::uint8_t>& image() const { return image_; }

 private:
  ModemAnswer takePacket(const std::string& text);
  ModemAnswer endDownload();

  ModemConfig config_;
  std::size_t maxPacketText_ = 0;
  bool downloadActive_ = false;
  bool downloaded_ = false;
  std::vector<std::uint8_t> image_;
};

}  // namespace modemsim
