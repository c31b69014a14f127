#include "station/model/station_faults.h"

#include <algorithm>

namespace tarnwick {

const char* faultSeverityName(FaultSeverity severity) {
  switch (severity) {
    case FaultSeverity::Information:
      return "Information";
    case FaultSeverity::Warning:
      return "Warning";
    case FaultSeverity::Error:
      return "Error";
    case FaultSeverity::Alarm:
      return "Alarm";
  }
  return "Error";
}

bool StationFaults::raise(const StationFault& fault) {
  std::lock_guard<std::mutex> hold(mutex_);
  for (const StationFault& active : active_) {
    if (active.code == fault.code && active.slot == fault.slot) return false;
  }
  active_.push_back(fault);
  return true;
}

bool StationFaults::clear(const std::string& code, const std::string& slot, StationFault& cleared) {
  std::lock_guard<std::mutex> hold(mutex_);
  const auto found = std::find_if(active_.begin(), active_.end(), [&](const StationFault& fault) {
    return fault.code == code && fault.slot == slot;
  });
  if (found == active_.end()) return false;
  cleared = *found;
  active_.erase(found);
  return true;
}

bool StationFaults::isActive(const std::string& code, const std::string& slot) const {
  std::lock_guard<std::mutex> hold(mutex_);
  return std::any_of(active_.begin(), active_.end(), [&](const StationFault& fault) {
    return fault.code == code && fault.slot == slot;
  });
}

std::vector<StationFault> StationFaults::active() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return active_;
}

}  // namespace tarnwick
