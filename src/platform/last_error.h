#pragma once

#include <string>

namespace tarnwick {

// The calling thread's last operating-system error (GetLastError / errno).
int lastErrorCode();
void setLastErrorCode(int code);

// The system's own message text for `code`, unchanged. False when the
// system has no text for it.
bool systemErrorText(int code, std::string& text);

// "DOING: " and the system's text for the calling thread's last error, on
// one line (Windows ends its texts with a line break). Call it before
// anything else can change the last error.
inline std::string lastErrorLine(const std::string& doing) {
  std::string text;
  systemErrorText(lastErrorCode(), text);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return doing + ": " + text;
}

}  // namespace tarnwick
