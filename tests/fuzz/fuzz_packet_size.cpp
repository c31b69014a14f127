// parseLeadingInteger against strtoll: the packet size a modem announces is
// read like scanf's "%d" - white space, an optional sign, digits, anything
// after - and refused when it does not fit an int rather than wrapped.
#include <cstddef>
#include <cstdint>
#include <string>

#include "download/packet_size_parse.h"
#include "fuzz_check.h"
#include "reference_parse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  constexpr int kUntouched = -777;
  int parsed = kUntouched;
  const bool ok = tarnwick::parseLeadingInteger(text, parsed);
  int expected = kUntouched;
  const bool expectedOk = tarnwick::fuzzing::referenceLeadingInt(text, expected);

  FUZZ_CHECK(ok == expectedOk, "parse gave %d, strtoll reading gave %d", ok, expectedOk);
  if (ok) {
    FUZZ_CHECK(parsed == expected, "parsed %d, strtoll reading %d", parsed, expected);
  } else {
    FUZZ_CHECK(parsed == kUntouched, "value written (%d) on a refused parse", parsed);
  }

  // What follows the digits never changes the number.
  if (ok) {
    int again = kUntouched;
    const bool okAgain = tarnwick::parseLeadingInteger(text + "7", again);
    std::size_t end = text.find_first_not_of(" \t\n\v\f\r");
    if (end != std::string::npos && (text[end] == '+' || text[end] == '-')) ++end;
    end = text.find_first_not_of("0123456789", end);
    if (end != std::string::npos) {
      FUZZ_CHECK(okAgain && again == parsed, "a byte after the text changed %d to %d", parsed,
                 again);
    }
  }
  return 0;
}
