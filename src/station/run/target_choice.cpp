#include "station/run/target_choice.h"

#include <algorithm>

namespace tarnwick {
namespace {

std::string portOption(int comNumber) {
  return "--port " + std::to_string(comNumber);
}

// The present modem owning COM `comNumber` and that port; null when none.
const FlashTarget* ownerOf(const std::vector<FlashTarget>& present, int comNumber,
                           const FlashTarget::Port*& owned) {
  for (const FlashTarget& modem : present) {
    for (const FlashTarget::Port& port : modem.ports) {
      if (port.comNumber != comNumber) continue;
      owned = &port;
      return &modem;
    }
  }
  return nullptr;
}

}  // namespace

bool modemsOnNamedPorts(const std::vector<FlashTarget>& present, const std::vector<int>& ports,
                        PortChoice& choice, std::string& why) {
  choice = PortChoice();
  std::vector<int> named;  // the --port value each chosen target came from
  for (std::size_t i = 0; i < ports.size(); ++i) {
    if (std::find(ports.begin(), ports.begin() + i, ports[i]) != ports.begin() + i) {
      why = portOption(ports[i]) + " is given twice";
      return false;
    }
    const FlashTarget::Port* port = nullptr;
    const FlashTarget* modem = ownerOf(present, ports[i], port);
    if (modem == nullptr) {
      choice.missing.push_back(ports[i]);
      continue;
    }
    for (std::size_t earlier = 0; earlier < choice.targets.size(); ++earlier) {
      if (choice.targets[earlier].location != modem->location) continue;
      why = portOption(ports[i]) + " and " + portOption(named[earlier]) + " name the same modem (" +
            modem->location + ")";
      return false;
    }
    FlashTarget target = *modem;
    target.ports = {*port};
    choice.targets.push_back(target);
    named.push_back(ports[i]);
  }
  return true;
}

bool chooseTargets(const std::vector<FlashTarget>& present, const std::vector<int>& ports,
                   int interface, TargetChoice& choice, std::string& why) {
  choice = TargetChoice();
  if (!ports.empty()) {
    PortChoice named;
    if (!modemsOnNamedPorts(present, ports, named, why)) return false;
    for (int port : named.missing)
      choice.notes.push_back("no modem found on COM" + std::to_string(port));
    choice.portMissing = !named.missing.empty();
    choice.targets = named.targets;
    return true;
  }
  for (FlashTarget target : present) {
    if (interface >= 0) {
      std::vector<FlashTarget::Port> kept;
      for (const FlashTarget::Port& port : target.ports) {
        if (port.interfaceNumber == interface) kept.push_back(port);
      }
      target.ports = kept;
      // Its record then says it had no serial port: the reason is told here.
      if (kept.empty()) {
        choice.notes.push_back(target.location + " has no port on interface " +
                               std::to_string(interface));
      }
    }
    choice.targets.push_back(target);
  }
  return true;
}

}  // namespace tarnwick
