#pragma once

#include <string>

#include "modem_state.h"
#include "sim_options.h"

namespace modemsim {

// Lays out the bytes of one reply: optional unsolicited text, the echo
// (command and CR), the information line framed "\r\n...\r\n", the final
// "\r\nOK\r\n" or "\r\nERROR\r\n", and NUL bytes mixed in when asked.
class ReplyFormat {
 public:
  explicit ReplyFormat(const SimOptions& options) : options_(options) {}

  std::string reply(const std::string& command, const ModemAnswer& answer, bool withFinal) const;

  // The start of a flood: what comes before its endless text.
  std::string floodStart(const std::string& command) const;

 private:
  std::string echoPart(const std::string& command) const;
  std::string withNulBytes(const std::string& bytes) const;

  const SimOptions& options_;
};

// A block of flood lines that holds no final result; sent over and over.
const std::string& floodBlock();

}  // namespace modemsim
