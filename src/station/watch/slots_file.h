#pragma once

#include <string>
#include <vector>

#include "station/model/slot.h"

namespace tarnwick {

// Reads a slots file: a JSON list of {"label": ..., "location": ...}. False
// with `why` when it cannot be read or is not such a list (labels and
// locations non-empty text, each label and each location once).
bool readSlotsFile(const std::string& path, std::vector<Slot>& slots, std::string& why);

// Whether `path` could be written, found without changing it: a file there
// keeps its bytes, and none is left where there was none.
bool slotsFileWritable(const std::string& path);

// Writes `slots` to `path` in that form, replacing the file.
bool writeSlotsFile(const std::string& path, const std::vector<Slot>& slots, std::string& why);

}  // namespace tarnwick
