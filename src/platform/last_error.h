#pragma once

#include <string>

namespace tarnwick {

// The calling thread's last operating-system error (GetLastError / errno).
int lastErrorCode();
void setLastErrorCode(int code);

// The system's own message text for `code`, unchanged. False when the
// system has no text for it.
bool systemErrorText(int code, std::string& text);

}  // namespace tarnwick
