#pragma once

#include <string>

#include "atlink/at_interface.h"

namespace tarnwick {

// The IMEI in an "AT+CGSN" reply body: fifteen digits, maybe after
// "+CGSN:" and in quotes, with the blanks and line ends around them;
// empty when the body holds none.
std::string imeiOfReply(const std::string& body);

// Asks the modem's IMEI ("AT+CGSN") on the open link; `imei` is empty when
// the modem gives none (a modem that does not know the command answers
// ERROR), and `note` then says why. A failed command leaves the link
// closed: returns whether it is still open.
bool askImei(AtInterface& link, std::string& imei, std::string& note);

}  // namespace tarnwick
