#include "platform/posix/tty_com_number.h"

#include <cctype>

namespace tarnwick {
namespace {

struct TtyFamily {
  const char* prefix;
  int firstComNumber;
};

constexpr TtyFamily kFamilies[] = {{"ttyUSB", 1}, {"ttyACM", 101}};
constexpr int kTtysPerFamily = 100;

// Parses a plain decimal index with no sign, no leading zeros (but "0") and
// no trailing characters; -1 otherwise.
int parseIndex(const std::string& text) {
  if (text.empty() || text.size() > 2) return -1;
  if (text.size() > 1 && text[0] == '0') return -1;
  int value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::string ttyNameForComNumber(int comNumber) {
  for (const TtyFamily& family : kFamilies) {
    int index = comNumber - family.firstComNumber;
    if (index >= 0 && index < kTtysPerFamily) return family.prefix + std::to_string(index);
  }
  return {};
}

int comNumberForTtyName(const std::string& ttyName) {
  for (const TtyFamily& family : kFamilies) {
    std::string prefix = family.prefix;
    if (ttyName.compare(0, prefix.size(), prefix) != 0) continue;
    int index = parseIndex(ttyName.substr(prefix.size()));
    if (index >= 0) return family.firstComNumber + index;
  }
  return 0;
}

}  // namespace tarnwick
