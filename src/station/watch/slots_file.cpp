#include "station/watch/slots_file.h"

#include <filesystem>
#include <fstream>
#include <ios>
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

// The whole file; false when it cannot be read to its end. A read error
// (a directory's, for one) comes from the stream buffer as an exception.
bool readWholeFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  try {
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::ios_base::failure&) {
    return false;
  }
  return !in.bad();
}

}  // namespace

bool readSlotsFile(const std::string& path, std::vector<Slot>& slots, std::string& why) {
  std::string text;
  if (!readWholeFile(path, text)) {
    why = "cannot be read";
    return false;
  }
  const nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_array()) {
    why = "is not a JSON list";
    return false;
  }
  std::set<std::string> locations;
  std::set<std::string> labels;
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
    if (!labels.insert(slot.label).second) {
      why = "label " + slot.label + " is in two slots";
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

bool slotsFileWritable(const std::string& path) {
  std::error_code error;
  const bool existed = std::filesystem::exists(path, error);
  if (error || std::filesystem::is_directory(path, error)) return false;
  // Opened for appending, so a file already there keeps its bytes; one this
  // made is removed again.
  const bool opened = static_cast<bool>(std::ofstream(path, std::ios::binary | std::ios::app));
  if (opened && !existed) std::filesystem::remove(path, error);
  return opened;
}

}  // namespace tarnwick
