#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// What the probe learnt about one modem. `portErrors` has one entry per
// port of the modem, in the same order: why that port did not answer the
// handshake, or none (it answered, or was not tried because an earlier
// port answered).
struct ModemProbe {
  std::vector<std::optional<std::string>> portErrors;
  std::optional<std::size_t> atPort;   // index into the modem's ports
  std::optional<std::string> version;  // the "AT+CGMR" body, trimmed
};

}  // namespace tarnwick
