#pragma once

#include <string>

namespace tarnwick {

// The version a modem gave to "AT+CGMR": the reply body (or the whole reply
// when the body is empty) without the white space around it.
std::string versionFromReply(const std::string& rawReply, const std::string& body);

}  // namespace tarnwick
