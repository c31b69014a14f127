#pragma once

#include <string>
#include <vector>

namespace tarnwick {

// A labelled place on the line: the USB location a modem plugged there has.
struct Slot {
  std::string label;
  std::string location;
};

// The label of the slot at `location`; empty when it is in none.
std::string slotLabelAt(const std::vector<Slot>& slots, const std::string& location);

// The place of the slot at `location` in `slots`, from 1; 0 when it is in none.
int slotIndexAt(const std::vector<Slot>& slots, const std::string& location);

}  // namespace tarnwick
