#pragma once

#include <string>

namespace tarnwick {

// `text` without the carriage returns, line feeds, spaces and tabs it
// begins and ends with (a modem's reply body, a system's detail text).
std::string trimmedReplyText(const std::string& text);

}  // namespace tarnwick
