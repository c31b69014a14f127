#include "station/run/imei_query.h"

#include "atlink/at_commands.h"
#include "atlink/link_failure.h"
#include "text/trimmed_text.h"

namespace tarnwick {
namespace {

constexpr std::size_t kImeiDigits = 15;
const std::string kReplyPrefix = "+CGSN:";

bool allDigits(const std::string& text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::string imeiOfReply(const std::string& body) {
  std::string text = trimmedReplyText(body);
  if (text.rfind(kReplyPrefix, 0) == 0) text = trimmedReplyText(text.substr(kReplyPrefix.size()));
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  return text.size() == kImeiDigits && allDigits(text) ? text : std::string();
}

bool askImei(AtInterface& link, std::string& imei, std::string& note) {
  std::string raw;
  std::string body;
  imei.clear();
  note.clear();
  if (!link.sendCommand(at_command::kSerialNumber, raw, body)) {
    note = "AT+CGSN failed: " + describeFailure(link.lastFailure());
    return false;
  }
  imei = imeiOfReply(body);
  if (imei.empty()) note = "AT+CGSN gave no IMEI: " + trimmedReplyText(body);
  return true;
}

}  // namespace tarnwick
