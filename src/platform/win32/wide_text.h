#pragma once

#include <string>

namespace tarnwick {

// UTF-8 text, as the rest of the program holds it, to and from the UTF-16
// the Windows wide calls take and give. Bytes that are no UTF-8 become
// U+FFFD; empty text gives empty text.
std::wstring widePath(const std::string& utf8);
std::string utf8Text(const std::wstring& wide);

}  // namespace tarnwick
