#pragma once

#include <string>
#include <vector>

#include "support/fake_serial_port.h"

namespace tarnwick::testing {

// The modem's side of the download commands, answering lines written to a
// FakeSerialPort: echo, then OK (or ERROR where told), keeping the image
// bytes it was sent.
class FakeModem {
 public:
  explicit FakeModem(FakeSerialPort& port);

  std::string packetSizeText = "512";
  int errorAtPacket = 0;  // 1-based; 0 = never
  bool errorAtEnd = false;
  std::string versionReply = "\r\nFAKE_REV_1\r\n\r\nOK\r\n";
  std::string imeiReply = "\r\n356938035643809\r\n\r\nOK\r\n";  // AT+CGSN

  std::vector<std::string> commands;
  std::string image;
  bool ended = false;

 private:
  std::string answer(const std::string& line);
  bool takePacket(const std::string& line);
  int packets_ = 0;
};

}  // namespace tarnwick::testing
