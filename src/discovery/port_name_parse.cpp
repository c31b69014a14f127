#include "discovery/port_name_parse.h"

#include <algorithm>
#include <string>

#include "text/decimal_scan.h"

namespace tarnwick {

bool parseComPortName(const char* bytes, std::uint32_t count, int& comNumber) {
  std::string text(bytes, std::find(bytes, bytes + count, '\0'));
  if (text.compare(0, 3, "COM") != 0) return false;
  // A number beyond int's range is clamped; no such port opens.
  DecimalScan scan = scanDecimal(text, 3);
  if (!scan.found) return false;
  comNumber = scan.value;
  return true;
}

}  // namespace tarnwick
