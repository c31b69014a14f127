#include "download/packet_size_parse.h"

#include "text/decimal_scan.h"

namespace tarnwick {

bool parseLeadingInteger(const std::string& text, int& value) {
  DecimalScan scan = scanDecimal(text);
  // A size beyond int's range is refused rather than cut to some other size.
  if (!scan.found || scan.overflowed) return false;
  value = scan.value;
  return true;
}

}  // namespace tarnwick
