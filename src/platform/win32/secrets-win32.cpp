#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/secrets.h"
#include "platform/win32/wide_text.h"

namespace tarnwick {
namespace {

constexpr std::size_t kMaxSecretBytes = 4096;

}  // namespace

// Who may read a file on Windows is its ACL's business, not a mode's: no
// warning here.
bool readSecretFile(const std::string& path, std::string& firstLine, std::string&,
                    std::string& error) {
  std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
  if (!file) {
    error = "cannot read the password file " + path;
    return false;
  }
  std::string text(kMaxSecretBytes, '\0');
  file.read(&text[0], static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(file.gcount()));
  firstLine = text.substr(0, text.find_first_of("\r\n"));
  if (firstLine.empty()) {
    error = "the password file " + path + " has no password on its first line";
    return false;
  }
  return true;
}

std::string environmentText(const char* name) {
  const std::wstring wideName(name, name + std::char_traits<char>::length(name));
  const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size == 0) return std::string();
  std::wstring value(size, L'\0');
  const DWORD got = GetEnvironmentVariableW(wideName.c_str(), &value[0], size);
  if (got == 0 || got >= size) return std::string();
  value.resize(got);
  return utf8Text(value);
}

// The command line others see is the one Windows keeps in the process's
// parameters; main's argv is a copy. Nothing to do.
void hideInCommandLine(char*, std::size_t, std::size_t) {}

bool commandLineCanBeHidden() {
  return false;
}

}  // namespace tarnwick
