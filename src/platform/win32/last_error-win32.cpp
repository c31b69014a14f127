// The thread's last Win32 error and the system's message text for a code.
#include <windows.h>

#include "platform/last_error.h"

namespace tarnwick {

int lastErrorCode() {
  return static_cast<int>(GetLastError());
}

void setLastErrorCode(int code) {
  SetLastError(static_cast<DWORD>(code));
}

// The text in the neutral language's default form (0x400), exactly as the
// system gives it, trailing line end included. The thread's last error is
// left as it was, so that a caller may still read it after asking.
bool systemErrorText(int code, std::string& text) {
  constexpr DWORD kNeutralDefaultLanguage = 0x400;
  DWORD savedError = GetLastError();
  LPSTR message = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, static_cast<DWORD>(code), kNeutralDefaultLanguage, reinterpret_cast<LPSTR>(&message),
      0, nullptr);
  bool found = length != 0 && message != nullptr;
  if (found) text.assign(message, length);
  if (message != nullptr) LocalFree(message);
  SetLastError(savedError);
  return found;
}

}  // namespace tarnwick
