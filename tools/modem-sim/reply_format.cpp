#include "reply_format.h"

namespace modemsim {

std::string ReplyFormat::echoPart(const std::string& command) const {
  std::string bytes;
  if (!options_.unsolicitedAfterEcho) bytes += options_.unsolicited;
  if (options_.echo) bytes += command + "\r";
  if (options_.unsolicitedAfterEcho) bytes += options_.unsolicited;
  return bytes;
}

std::string ReplyFormat::withNulBytes(const std::string& bytes) const {
  if (!options_.nulBytes) return bytes;
  std::string mixed;
  mixed.reserve(bytes.size() + bytes.size() / 3 + 1);
  for (std::string::size_type i = 0; i < bytes.size(); ++i) {
    mixed += bytes[i];
    if (i % 3 == 2) mixed += '\0';
  }
  return mixed;
}

std::string ReplyFormat::reply(const std::string& command, const ModemAnswer& answer,
                               bool withFinal) const {
  std::string bytes = echoPart(command);
  if (answer.hasInfo) bytes += "\r\n" + answer.info + "\r\n";
  if (withFinal) bytes += answer.ok ? "\r\nOK\r\n" : "\r\nERROR\r\n";
  return withNulBytes(bytes);
}

std::string ReplyFormat::floodStart(const std::string& command) const {
  return withNulBytes(echoPart(command));
}

const std::string& floodBlock() {
  static const std::string block = [] {
    std::string text;
    while (text.size() < 4096) text += "\r\n+FLOOD: 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    return text;
  }();
  return block;
}

}  // namespace modemsim
