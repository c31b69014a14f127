#include "station/watch/watch_tracker.h"

namespace tarnwick {
namespace {

std::string keyOf(const std::string& location, const std::string& serial) {
  return location + '\n' + serial;
}

std::string deviceKey(const FlashTarget& modem) {
  return keyOf(modem.location, modem.serial);
}

std::string locationOfKey(const std::string& key) {
  return key.substr(0, key.find('\n'));
}

int countOf(const std::map<std::string, int>& counts, const std::string& serial) {
  const auto found = counts.find(serial);
  return found == counts.end() ? 0 : found->second;
}

}  // namespace

std::vector<WatchTracker::Action> WatchTracker::update(const std::vector<FlashTarget>& present,
                                                       Clock::time_point now) {
  std::vector<Action> actions;
  std::map<std::string, const FlashTarget*> byKey;
  std::map<std::string, int> serialCount;
  for (const FlashTarget& modem : present) {
    byKey[deviceKey(modem)] = &modem;
    if (!modem.serial.empty()) ++serialCount[modem.serial];
  }
  noteDepartures(byKey, actions);
  for (const FlashTarget& modem : present)
    noteArrival(deviceKey(modem), modem, serialCount, actions);
  noteDuplicates(byKey, serialCount, actions);
  noteExpiries(now, actions);
  return actions;
}

void WatchTracker::noteDepartures(const std::map<std::string, const FlashTarget*>& now,
                                  std::vector<Action>& actions) {
  for (auto& [key, device] : devices_) {
    if (!device.present || now.count(key) != 0) continue;
    device.present = false;
    actions.push_back({Action::Kind::Gone, device.cycle, {}});
    if (!device.cycleOpen) continue;
    Cycle& cycle = cycles_[device.cycle];
    if (cycle.phase == Phase::Flashing || cycle.phase == Phase::Verifying) {
      device.missedDuringCycle = true;
    } else if (cycle.phase == Phase::AwaitingUnplug) {
      cycle.phase = Phase::AwaitingReturn;
    }
  }
}

void WatchTracker::noteArrival(const std::string& key, const FlashTarget& modem,
                               const std::map<std::string, int>& serialCount,
                               std::vector<Action>& actions) {
  Device& device = devices_[key];
  if (device.present) return;
  device.present = true;
  if (device.cycleOpen) {
    // Back while its flash or check still runs: that one's end decides.
    const Phase phase = cycles_[device.cycle].phase;
    if (phase == Phase::Flashing || phase == Phase::Verifying) return;
  }
  device.missedDuringCycle = false;
  std::size_t back = 0;
  if (returningCycle(modem, serialCount, back)) {
    Cycle& cycle = cycles_[back];
    // The cycle moves to the device it came back as (maybe another location).
    release(back);
    cycle.deviceKey = key;
    cycle.phase = Phase::Verifying;
    device.cycle = back;
    device.cycleOpen = true;
    actions.push_back({Action::Kind::Back, back, modem});
    return;
  }
  device.cycle =
      openCycle(key, modem.serial, modem.location, countOf(serialCount, modem.serial) > 1);
  device.cycleOpen = true;
  actions.push_back({Action::Kind::Flash, device.cycle, modem});
}

std::size_t WatchTracker::openCycle(const std::string& key, const std::string& serial,
                                    const std::string& location, bool duplicate) {
  Cycle cycle;
  cycle.deviceKey = key;
  cycle.serial = serial;
  cycle.location = location;
  cycle.duplicate = duplicate;
  cycle.attempt = ++attempts_[key];
  cycles_.push_back(cycle);
  return cycles_.size() - 1;
}

// The device the cycle is bound to is no longer its.
void WatchTracker::release(std::size_t index) {
  Device& device = devices_[cycles_[index].deviceKey];
  if (device.cycle == index) device.cycleOpen = false;
}

// A cycle waiting for this modem: same serial at the same location, or at
// any location when the serial is present only once. Without a serial,
// only the same location counts.
bool WatchTracker::returningCycle(const FlashTarget& modem,
                                  const std::map<std::string, int>& serialCount,
                                  std::size_t& cycle) const {
  const bool unique = !modem.serial.empty() && countOf(serialCount, modem.serial) == 1;
  bool found = false;
  for (std::size_t index = 0; index < cycles_.size(); ++index) {
    const Cycle& candidate = cycles_[index];
    if (candidate.phase != Phase::AwaitingReturn || candidate.serial != modem.serial) continue;
    if (candidate.location == modem.location) {
      cycle = index;
      return true;
    }
    if (unique && !found) {
      cycle = index;
      found = true;
    }
  }
  return found;
}

void WatchTracker::noteDuplicates(const std::map<std::string, const FlashTarget*>& now,
                                  const std::map<std::string, int>& serialCount,
                                  std::vector<Action>& actions) {
  for (const auto& [key, modem] : now) {
    if (countOf(serialCount, modem->serial) < 2) continue;
    const Device& device = devices_[key];
    if (!device.cycleOpen || cycles_[device.cycle].duplicate) continue;
    cycles_[device.cycle].duplicate = true;
    actions.push_back({Action::Kind::Duplicate, device.cycle, *modem});
  }
}

void WatchTracker::noteExpiries(Clock::time_point now, std::vector<Action>& actions) {
  for (std::size_t index = 0; index < cycles_.size(); ++index) {
    Cycle& cycle = cycles_[index];
    const bool waiting =
        cycle.phase == Phase::AwaitingUnplug || cycle.phase == Phase::AwaitingReturn;
    if (!waiting || now - cycle.passedAt < verifyTimeout_) continue;
    cycle.phase = Phase::Closed;
    release(index);
    actions.push_back({Action::Kind::Expired, index, {}});
  }
}

void WatchTracker::flashEnded(std::size_t index, bool passed, Clock::time_point now,
                              const std::string& imei) {
  Cycle& cycle = cycles_[index];
  cycle.imei = imei;
  Device& device = devices_[cycle.deviceKey];
  // A modem that left and came back while its flash ran is seen as plugged
  // in again at the next list: its check (passed) or a new attempt.
  const bool replugged = device.present && device.missedDuringCycle;
  if (replugged) device.present = false;
  device.missedDuringCycle = false;
  if (!passed) {
    cycle.phase = Phase::Closed;
    device.cycleOpen = false;
    return;
  }
  cycle.passedAt = now;
  cycle.phase = device.present ? Phase::AwaitingUnplug : Phase::AwaitingReturn;
}

WatchTracker::Return WatchTracker::checked(std::size_t index, const std::string& imei,
                                           bool versionShowsFlashed) {
  Cycle& cycle = cycles_[index];
  const std::string key = cycle.deviceKey;
  if (sameUnit(cycle, imei, versionShowsFlashed)) {
    verifyEnded(index);
    return {Return::Kind::ThisUnit, index};
  }
  // Another unit: the cycle waits on for its own where it was flashed.
  cycle.phase = Phase::AwaitingReturn;
  cycle.deviceKey = keyOf(cycle.location, cycle.serial);
  Device& device = devices_[key];
  device.missedDuringCycle = false;
  std::size_t other = 0;
  if (waitingCycleOf(imei, other)) {
    release(other);
    cycles_[other].deviceKey = key;
    cycles_[other].phase = Phase::Closed;
    device.cycle = other;
    device.cycleOpen = false;
    return {Return::Kind::OtherCycle, other};
  }
  const std::string serial = cycle.serial;
  device.cycle = openCycle(key, serial, locationOfKey(key), presentWithSerial(serial) > 1);
  device.cycleOpen = true;
  return {Return::Kind::NewUnit, device.cycle};
}

bool WatchTracker::sameUnit(const Cycle& cycle, const std::string& imei,
                            bool versionShowsFlashed) const {
  if (!imei.empty() && !cycle.imei.empty()) return imei == cycle.imei;
  return cycle.deviceKey == keyOf(cycle.location, cycle.serial) || versionShowsFlashed;
}

bool WatchTracker::waitingCycleOf(const std::string& imei, std::size_t& cycle) const {
  if (imei.empty()) return false;
  for (std::size_t index = 0; index < cycles_.size(); ++index) {
    if (cycles_[index].phase == Phase::AwaitingReturn && cycles_[index].imei == imei) {
      cycle = index;
      return true;
    }
  }
  return false;
}

int WatchTracker::presentWithSerial(const std::string& serial) const {
  if (serial.empty()) return 0;
  int count = 0;
  for (const auto& [key, device] : devices_) {
    if (device.present && key.compare(key.find('\n') + 1, std::string::npos, serial) == 0) ++count;
  }
  return count;
}

void WatchTracker::verifyEnded(std::size_t index) {
  Cycle& cycle = cycles_[index];
  cycle.phase = Phase::Closed;
  Device& device = devices_[cycle.deviceKey];
  device.cycleOpen = false;
  device.missedDuringCycle = false;
}

std::vector<std::size_t> WatchTracker::waitingCycles() const {
  std::vector<std::size_t> waiting;
  for (std::size_t index = 0; index < cycles_.size(); ++index) {
    const Phase phase = cycles_[index].phase;
    if (phase == Phase::AwaitingUnplug || phase == Phase::AwaitingReturn) waiting.push_back(index);
  }
  return waiting;
}

std::size_t WatchTracker::cyclesAtWork() const {
  std::size_t working = 0;
  for (const Cycle& cycle : cycles_) {
    working += cycle.phase == Phase::Flashing || cycle.phase == Phase::Verifying ? 1 : 0;
  }
  return working;
}

}  // namespace tarnwick
