#include "station/slots_file.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>

namespace tarnwick {
namespace {

bool slotFrom(const nlohmann::json& entry, Slot& slot) {
  if (!entry.is_object()) return false;
  const auto label = entry.find("label");
  const auto location = entry.find("location");
  if (label == entry.end() || location == entry.end()) return false;
  if (!label->is_string() || !location->is_string()) return false;
  slot.label = label->get<std::string>();
  slot.location = location->get<std::string>();
  return !slot.label.empty() && !slot.location.empty();
}

}  // namespace

bool readSlotsFile(const std::string& path, std::vector<Slot>& slots, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = "cannot be read";
    return false;
  }
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_array()) {
    why = "is not a JSON list";
    return false;
  }
  std::set<std::string> locations;
  for (std::size_t index = 0; index < parsed.size(); ++index) {
    Slot slot;
    if (!slotFrom(parsed[index], slot)) {
      why = "entry " + std::to_string(index + 1) + " is not {\"label\": TEXT, \"location\": TEXT}";
      return false;
    }
    if (!locations.insert(slot.location).second) {
      why = "location " + slot.location + " is in two slots";
      return false;
    }
    slots.push_back(slot);
  }
  return true;
}

bool writeSlotsFile(const std::string& path, const std::vector<Slot>& slots, std::string& why) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const Slot& slot : slots) {
    nlohmann::ordered_json entry;
    entry["label"] = slot.label;
    entry["location"] = slot.location;
    list.push_back(entry);
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
  out.close();
  if (!out) why = "cannot be written";
  return static_cast<bool>(out);
}

std::string slotLabelAt(const std::vector<Slot>& slots, const std::string& location) {
  for (const Slot& slot : slots) {
    if (slot.location == location) return slot.label;
  }
  return {};
}

}  // namespace tarnwick
