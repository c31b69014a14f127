#include "station/model/slot.h"

namespace tarnwick {

std::string slotLabelAt(const std::vector<Slot>& slots, const std::string& location) {
  for (const Slot& slot : slots) {
    if (slot.location == location) return slot.label;
  }
  return {};
}

}  // namespace tarnwick
