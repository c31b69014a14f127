#include <windows.h>

#include <string>

#include "platform/state_folder.h"

namespace tarnwick {
namespace {

std::string utf8Text(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], size,
                        nullptr, nullptr);
  }
  return text;
}

}  // namespace

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
