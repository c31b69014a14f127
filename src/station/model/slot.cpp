#include "station/model/slot.h"

namespace tarnwick {

std::string slotLabelAt(const std::vector<Slot>& slots, const std::string& location) {
  for (const Slot& slot : slots) {
    if (slot.location == location) return slot.label;
  }
  return {};
}

int slotIndexAt(const std::vector<Slot>& slots, const std::string& location) {
  for (std::size_t index = 0; index < slots.size(); ++index) {
    if (slots[index].location == location) return static_cast<int>(index) + 1;
  }
  return 0;
}

}  // namespace tarnwick
