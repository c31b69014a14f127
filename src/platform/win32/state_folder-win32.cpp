#include <windows.h>

#include <string>

#include "platform/state_folder.h"
#include "platform/win32/wide_text.h"

namespace tarnwick {

bool defaultOutboxFolder(std::string& folder, std::string& why) {
  wchar_t buffer[MAX_PATH * 2] = {};
  const DWORD size = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH * 2);
  if (size == 0 || size >= MAX_PATH * 2) {
    why = "LOCALAPPDATA names no folder";
    return false;
  }
  std::string base = utf8Text(std::wstring(buffer, size));
  while (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.pop_back();
  folder = base + "\\Tarnwick\\outbox";
  return true;
}

}  // namespace tarnwick
