#pragma once

#include <string>
#include <vector>

#include "station/model/flash_target.h"

namespace tarnwick {

// What the --port values name among the present modems.
struct PortChoice {
  std::vector<FlashTarget> targets;  // each named modem on its named port alone
  std::vector<int> missing;          // COM numbers no present modem owns
};

// The modems owning `ports`, in the order given. False with `why` when a
// COM number is given twice or two of them belong to one modem: a modem is
// flashed once, through one port.
bool modemsOnNamedPorts(const std::vector<FlashTarget>& present, const std::vector<int>& ports,
                        PortChoice& choice, std::string& why);

}  // namespace tarnwick
