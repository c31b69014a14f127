#include "station/publish/outbox_listing.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace tarnwick {
namespace {

// One line per entry whatever a broker's error says.
std::string oneLine(const std::string& text) {
  std::string line;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      line += escaped;
    } else {
      line += c;
    }
  }
  return line;
}

// A field that must stay one word for scripts.
std::string word(const std::string& text) {
  std::string shown = oneLine(text);
  for (char& c : shown) {
    if (c == ' ') c = '_';
  }
  return shown.empty() ? "-" : shown;
}

}  // namespace

std::string outboxListingText(const std::vector<OutboxEntry>& entries) {
  std::string text;
  for (const OutboxEntry& entry : entries) {
    text += word(entry.message.messageId) + "  " + word(entry.message.messageName) + "  " +
            word(entry.created) + "  " + std::to_string(entry.attempts) + "  " +
            (entry.lastError.empty() ? "-" : oneLine(entry.lastError)) + "\n";
  }
  return text;
}

std::string outboxListingJson(const std::vector<OutboxEntry>& entries) {
  std::string text;
  for (const OutboxEntry& entry : entries) {
    nlohmann::ordered_json line;
    line["unique_id"] = entry.message.messageId;
    line["message"] = entry.message.messageName;
    line["created"] = entry.created;
    line["attempts"] = entry.attempts;
    line["last_error"] = entry.lastError.empty() ? nlohmann::ordered_json(nullptr)
                                                 : nlohmann::ordered_json(entry.lastError);
    text += line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  }
  return text;
}

}  // namespace tarnwick
