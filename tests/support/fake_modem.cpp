#include "support/fake_modem.h"

namespace tarnwick::testing {
namespace {

const char kOk[] = "\r\nOK\r\n";
const char kError[] = "\r\nERROR\r\n";

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

FakeModem::FakeModem(FakeSerialPort& port) {
  port.setResponder([this](const std::string& line) { return line + "\r" + answer(line); });
}

bool FakeModem::takePacket(const std::string& line) {
  const std::string prefix = "AT%DNLIMG=\"";
  if (line.size() < prefix.size() + 1 || line.back() != '"') return false;
  std::string hex = line.substr(prefix.size(), line.size() - prefix.size() - 1);
  if (hex.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int high = hexValue(hex[i]);
    int low = hexValue(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    image.push_back(static_cast<char>(high * 16 + low));
  }
  return true;
}

std::string FakeModem::answer(const std::string& line) {
  commands.push_back(line);
  if (line == "AT") return kOk;
  if (line == "AT+CGMR") return versionReply;
  if (line == "AT+CGSN") return imeiReply;
  if (line == "AT%DNLPK?") return "\r\n" + packetSizeText + "\r\n" + kOk;
  if (line == "AT%DNL=1") {
    image.clear();
    return kOk;
  }
  if (line == "AT%DNL=0") {
    ended = !errorAtEnd;
    return errorAtEnd ? kError : kOk;
  }
  if (line.rfind("AT%DNLIMG=\"", 0) == 0) {
    if (++packets_ == errorAtPacket) return kError;
    return takePacket(line) ? kOk : kError;
  }
  return kError;
}

}  // namespace tarnwick::testing
