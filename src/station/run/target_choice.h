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

// Which of the present modems a flash run takes, and on which ports.
struct TargetChoice {
  std::vector<FlashTarget> targets;
  // Lines for standard error: a --port that names no modem, a modem left
  // without a port by --interface.
  std::vector<std::string> notes;
  bool portMissing = false;  // some --port named no present modem: the run fails
};

// Without `ports`, every modem found, on the ports `interface` leaves (-1:
// all of them); with them, the modems owning those ports, on those ports
// alone. False with `why` when the --port values do not name distinct
// modems.
bool chooseTargets(const std::vector<FlashTarget>& present, const std::vector<int>& ports,
                   int interface, TargetChoice& choice, std::string& why);

}  // namespace tarnwick
