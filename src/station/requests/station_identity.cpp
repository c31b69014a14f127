#include "station/requests/station_identity.h"

#include <fstream>

#include "platform/durable_file.h"
#include "platform/random_uuid.h"
#include "platform/state_folder.h"
#include "text/trimmed_text.h"

namespace tarnwick {
namespace {

// The state folder: the default outbox's parent.
bool stateFolder(std::string& folder, std::string& why) {
  if (!defaultOutboxFolder(folder, why)) return false;
  const std::string::size_type slash = folder.find_last_of("/\\");
  if (slash != std::string::npos) folder = folder.substr(0, slash);
  return true;
}

bool looksLikeUuid(const std::string& text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash != (text[i] == '-')) return false;
    if (!dash && !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

}  // namespace

std::string stationUniqueIdentifier(std::string& warning) {
  std::string folder;
  std::string why;
  if (!stateFolder(folder, why)) {
    warning = "the station's id cannot be kept (" + why + "): this run's is new";
    return randomUuid();
  }
  const std::string path = folder + "/station-id";
  std::ifstream in(path);
  std::string kept;
  std::getline(in, kept);
  kept = trimmedReplyText(kept);
  if (looksLikeUuid(kept)) return kept;
  const std::string made = randomUuid();
  if (!createPrivateFolders(folder, why) || !writeFileDurably(path, made + "\n", why)) {
    warning = "the station's id cannot be kept in " + path + " (" + why + "): this run's is new";
  }
  return made;
}

}  // namespace tarnwick
