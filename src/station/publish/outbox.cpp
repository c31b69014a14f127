#include "station/publish/outbox.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <system_error>

#include "platform/durable_file.h"
#include "platform/random_uuid.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

const char kSuffix[] = ".json";
const char kRejected[] = "rejected";
constexpr std::size_t kSequenceDigits = 20;

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A result's file is "SEQUENCE-UNIQUEID.json": the zero-padded sequence
// sorts the files oldest first.
bool isEntryName(const std::string& name) {
  return endsWith(name, kSuffix) && name.size() > kSequenceDigits + 1 &&
         name[kSequenceDigits] == '-' &&
         std::all_of(name.begin(), name.begin() + kSequenceDigits,
                     [](char c) { return c >= '0' && c <= '9'; });
}

// Twenty digits may exceed 64 bits: strtoull then gives its largest value
// (and never throws).
std::uint64_t sequenceOf(const std::string& name) {
  return std::strtoull(name.substr(0, kSequenceDigits).c_str(), nullptr, 10);
}

// Ids become part of file names: only UUID characters pass.
bool isSafeId(const std::string& id) {
  return !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
  });
}

std::string joinPath(const std::string& folder, const std::string& name) {
  return (fs::u8path(folder) / fs::u8path(name)).u8string();
}

// The names of the regular files in `folder`, sorted.
bool fileNames(const std::string& folder, std::vector<std::string>& names, std::string& why) {
  std::error_code error;
  fs::directory_iterator entry(fs::u8path(folder), error);
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    std::error_code typeError;
    if (entry->is_regular_file(typeError)) names.push_back(entry->path().filename().u8string());
  }
  if (error) {
    why = "cannot read the folder " + folder + ": " + error.message();
    return false;
  }
  std::sort(names.begin(), names.end());
  return true;
}

bool readWhole(const std::string& path, std::string& text) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  if (!in) return false;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  text = bytes.str();
  return !in.bad();
}

Json entryJson(const OutboxEntry& entry) {
  Json file;
  file["unique_id"] = entry.message.messageId;
  file["message"] = entry.message.messageName;
  file["created"] = entry.created;
  file["attempts"] = entry.attempts;
  file["last_error"] = entry.lastError.empty() ? Json(nullptr) : Json(entry.lastError);
  file["subject"] = entry.message.subject;
  file["topic"] = entry.message.topic;
  file["handle"] = entry.message.handle;
  file["body"] = entry.message.body;
  return file;
}

std::string fileText(const Json& file) {
  return file.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool isText(const Json& file, const char* key) {
  return file.contains(key) && file[key].is_string();
}

// The entry a file holds, checked field by field (so nothing throws).
bool entryFromJson(const Json& file, OutboxEntry& entry, std::string& why) {
  for (const char* key :
       {"unique_id", "message", "created", "subject", "topic", "handle", "body"}) {
    if (!isText(file, key)) {
      why = std::string("no text \"") + key + "\"";
      return false;
    }
  }
  if (!file.contains("attempts") || !file["attempts"].is_number_integer() ||
      !file.contains("last_error") ||
      !(file["last_error"].is_null() || isText(file, "last_error"))) {
    why = "no \"attempts\" or \"last_error\"";
    return false;
  }
  entry.message.messageId = file["unique_id"].get<std::string>();
  entry.message.messageName = file["message"].get<std::string>();
  entry.message.subject = file["subject"].get<std::string>();
  entry.message.topic = file["topic"].get<std::string>();
  entry.message.handle = file["handle"].get<std::string>();
  entry.message.body = file["body"].get<std::string>();
  entry.created = file["created"].get<std::string>();
  entry.attempts = file["attempts"].get<int>();
  entry.lastError = file["last_error"].is_null() ? "" : file["last_error"].get<std::string>();
  return true;
}

std::uint64_t microsecondsNow() {
  using namespace std::chrono;
  const auto now = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
  return now > 0 ? static_cast<std::uint64_t>(now) : 0;
}

// Leftovers of a run that stopped while writing; young ones may be
// another program's, still being written.
void removeOldTemporaryFiles(const std::string& folder, const std::vector<std::string>& names) {
  const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(1);
  for (const std::string& name : names) {
    if (!endsWith(name, kDurableTempSuffix)) continue;
    std::error_code error;
    const fs::path temp = fs::u8path(joinPath(folder, name));
    const auto written = fs::last_write_time(temp, error);
    if (!error && written < old) fs::remove(temp, error);
  }
}

// The filesystem and JSON calls here use their non-throwing forms; this
// catches what is left (a path the system cannot convert, no memory), so
// that no exception leaves the outbox.
template <typename Work>
bool guarded(std::string& why, Work work) {
  try {
    return work();
  } catch (const std::exception& error) {
    why = error.what();
    return false;
  }
}

std::string sequenceText(std::uint64_t sequence) {
  char text[kSequenceDigits + 1];
  std::snprintf(text, sizeof text, "%020llu", static_cast<unsigned long long>(sequence));
  return text;
}

}  // namespace

Outbox::Outbox(std::string folder) : folder_(std::move(folder)) {}

bool Outbox::open(std::string& why) {
  std::lock_guard<std::mutex> lock(mutex_);
  return guarded(why, [&] {
    // What holds IMEIs and serials is the user's alone; folders already
    // there are the user's to set (one may be shared on purpose).
    if (!createPrivateFolders(joinPath(folder_, kRejected), why)) return false;
    std::vector<std::string> names;
    if (!fileNames(folder_, names, why)) return false;
    for (const std::string& name : names) {
      if (isEntryName(name)) lastSequence_ = std::max(lastSequence_, sequenceOf(name));
    }
    removeOldTemporaryFiles(folder_, names);
    names.clear();
    if (fileNames(joinPath(folder_, kRejected), names, why)) {
      removeOldTemporaryFiles(joinPath(folder_, kRejected), names);
    }
    return true;
  });
}

bool Outbox::put(const CfxMessage& message, const std::string& created, std::string& why) {
  std::lock_guard<std::mutex> lock(mutex_);
  return guarded(why, [&] {
    if (!isSafeId(message.messageId)) {
      why = "the message has no usable id: " + message.messageId;
      return false;
    }
    // Later puts sort after earlier ones even when the clock stands still
    // or steps back.
    lastSequence_ = std::max(lastSequence_ + 1, microsecondsNow());
    OutboxEntry entry;
    entry.message = message;
    entry.created = created;
    const std::string name = sequenceText(lastSequence_) + "-" + message.messageId + kSuffix;
    if (!writeFileDurably(joinPath(folder_, name), fileText(entryJson(entry)), why)) return false;
    fileNameOf_[message.messageId] = name;
    return true;
  });
}

bool Outbox::readEntryFile(const std::string& path, OutboxEntry& entry, std::string& why) const {
  std::string text;
  if (!readWhole(path, text)) {
    why = "cannot be read";
    return false;
  }
  const Json file = Json::parse(text, nullptr, false);
  if (file.is_discarded() || !file.is_object()) {
    why = "is not JSON";
    return false;
  }
  if (!entryFromJson(file, entry, why)) return false;
  if (!endsWith(path, "-" + entry.message.messageId + kSuffix)) {
    why = "holds another unique_id: " + entry.message.messageId;
    return false;
  }
  return true;
}

bool Outbox::pending(OutboxListing& listing, std::string& why) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return guarded(why, [&] {
    std::vector<std::string> names;
    if (!fileNames(folder_, names, why)) return false;
    listing = OutboxListing();
    for (const std::string& name : names) {
      if (endsWith(name, kDurableTempSuffix)) continue;
      OutboxEntry entry;
      std::string problem;
      if (!isEntryName(name)) {
        listing.unreadable.push_back(name + ": not a name the outbox gives");
      } else if (!readEntryFile(joinPath(folder_, name), entry, problem)) {
        listing.unreadable.push_back(name + ": " + problem);
      } else {
        fileNameOf_[entry.message.messageId] = name;
        listing.entries.push_back(std::move(entry));
      }
    }
    return true;
  });
}

// The file of `uniqueId`: known from put or pending, else looked for (a
// result an earlier run left, not listed yet in this one).
std::string Outbox::pathOf(const std::string& uniqueId, std::string& why) const {
  if (!isSafeId(uniqueId)) {
    why = "not a result's id: " + uniqueId;
    return "";
  }
  const auto known = fileNameOf_.find(uniqueId);
  if (known != fileNameOf_.end()) return joinPath(folder_, known->second);
  std::vector<std::string> names;
  if (!fileNames(folder_, names, why)) return "";
  for (const std::string& name : names) {
    if (isEntryName(name) && name.substr(kSequenceDigits + 1) == uniqueId + kSuffix) {
      return joinPath(folder_, name);
    }
  }
  why = "no result " + uniqueId + " waits in " + folder_;
  return "";
}

bool Outbox::readWaiting(const std::string& uniqueId, std::string& path, OutboxEntry& entry,
                         std::string& why) const {
  path = pathOf(uniqueId, why);
  if (path.empty()) return false;
  if (readEntryFile(path, entry, why)) return true;
  why = path + " " + why;
  return false;
}

bool Outbox::noteAttempt(const std::string& uniqueId, const std::string& error, std::string& why) {
  std::lock_guard<std::mutex> lock(mutex_);
  return guarded(why, [&] {
    std::string path;
    OutboxEntry entry;
    if (!readWaiting(uniqueId, path, entry, why)) return false;
    entry.attempts += 1;
    entry.lastError = error;
    return writeFileDurably(path, fileText(entryJson(entry)), why);
  });
}

bool Outbox::remove(const std::string& uniqueId, std::string& why) {
  std::lock_guard<std::mutex> lock(mutex_);
  return guarded(why, [&] {
    const std::string path = pathOf(uniqueId, why);
    if (path.empty() || !removeFileDurably(path, why)) return false;
    fileNameOf_.erase(uniqueId);
    return true;
  });
}

// Written whole into rejected/ first, then deleted here: a crash between
// the two leaves it in both places, and so it is sent once more rather
// than lost.
bool Outbox::reject(const std::string& uniqueId, const std::string& error, std::string& why) {
  std::lock_guard<std::mutex> lock(mutex_);
  return guarded(why, [&] {
    std::string path;
    OutboxEntry entry;
    if (!readWaiting(uniqueId, path, entry, why)) return false;
    Json file = entryJson(entry);
    file["rejected_error"] = error;
    const std::string name = fs::u8path(path).filename().u8string();
    const std::string target = joinPath(joinPath(folder_, kRejected), name);
    if (!writeFileDurably(target, fileText(file), why) || !removeFileDurably(path, why)) {
      return false;
    }
    fileNameOf_.erase(uniqueId);
    return true;
  });
}

// A probe named with the temporary suffix: never read as a result, and
// cleaned by `open` should this stop half way. Its name is unique, since
// two runs may share the folder.
bool Outbox::checkWritable(std::string& why) {
  return guarded(why, [&] {
    const std::string probe =
        "write-check-" + sequenceText(microsecondsNow()) + "-" + randomUuid() + kDurableTempSuffix;
    for (const std::string& folder : {folder_, joinPath(folder_, kRejected)}) {
      const std::string path = joinPath(folder, probe);
      if (!writeFileDurably(path, "a write check\n", why) || !removeFileDurably(path, why)) {
        return false;
      }
    }
    return true;
  });
}

bool Outbox::putBack(const OutboxEntry& entry, std::string& why) {
  lastSequence_ = std::max(lastSequence_ + 1, microsecondsNow());
  const std::string name = sequenceText(lastSequence_) + "-" + entry.message.messageId + kSuffix;
  if (!writeFileDurably(joinPath(folder_, name), fileText(entryJson(entry)), why)) return false;
  fileNameOf_[entry.message.messageId] = name;
  return true;
}

// Written whole into the folder first, then deleted from rejected/: a crash
// between the two leaves it in both places, and the next retry finds it
// waiting and only deletes it from rejected/. A new name puts it after the
// results that were never refused, which need not wait behind it.
bool Outbox::retryRejected(std::size_t& moved, std::string& why) {
  std::lock_guard<std::mutex> lock(mutex_);
  moved = 0;
  return guarded(why, [&] {
    const std::string aside = joinPath(folder_, kRejected);
    std::vector<std::string> names, waitingNames;
    if (!fileNames(aside, names, why) || !fileNames(folder_, waitingNames, why)) return false;
    std::set<std::string> waiting;
    for (const std::string& name : waitingNames) {
      if (isEntryName(name)) waiting.insert(name.substr(kSequenceDigits + 1));
    }
    for (const std::string& name : names) {
      OutboxEntry entry;
      std::string problem;
      if (!isEntryName(name) || !readEntryFile(joinPath(aside, name), entry, problem)) continue;
      if (waiting.count(name.substr(kSequenceDigits + 1)) == 0 && !putBack(entry, why)) {
        return false;
      }
      if (!removeFileDurably(joinPath(aside, name), why)) return false;
      ++moved;
    }
    return true;
  });
}

}  // namespace tarnwick
