#include "station/publish/outbox.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <system_error>

#include "platform/durable_file.h"
#include "platform/random_uuid.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

const char kSuffix[] = ".json";
const char kRejected[] = "rejected";
const char kSenderLock[] = "sender.lock";
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

std::string idOfEntryName(const std::string& name) {
  return name.substr(kSequenceDigits + 1, name.size() - kSequenceDigits - 1 - (sizeof kSuffix - 1));
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

// A result's file is small: read in a few large reads, with as few system
// calls as the library allows (a listing reads thousands of them).
bool readWhole(const std::string& path, std::string& text) {
  std::ifstream in;
  char buffer[16384];
  in.rdbuf()->pubsetbuf(nullptr, 0);  // unbuffered: each read goes straight to the file
  in.open(fs::u8path(path), std::ios::binary);
  if (!in) return false;
  text.clear();
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
  }
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
  file["target"] = entry.message.target;
  file["request_id"] = entry.message.requestId;
  file["creation_time_ms"] = entry.message.creationTimeMs;
  file["body"] = entry.message.body;  // last: a listing reads what comes before it
  return file;
}

std::string fileText(const Json& file) {
  return file.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool isText(const Json& file, const char* key) {
  return file.contains(key) && file[key].is_string();
}

// The length of the JSON string text that starts at `text[start]` (just
// after its opening quote) up to its closing quote; npos when it is not
// one: a control byte, a bad escape, no end. It checks without decoding.
std::size_t jsonStringLength(const std::string& text, std::size_t start) {
  static const std::string kEscapes = "\"\\/bfnrt";
  for (std::size_t at = start; at < text.size(); ++at) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c == '"') return at - start;
    if (c < 0x20) return std::string::npos;
    if (c != '\\' || ++at >= text.size()) continue;
    if (text[at] == 'u') {
      if (at + 4 >= text.size() ||
          !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                       text.begin() + static_cast<std::ptrdiff_t>(at) + 5,
                       [](char h) { return std::isxdigit(static_cast<unsigned char>(h)) != 0; })) {
        return std::string::npos;
      }
      at += 4;
    } else if (kEscapes.find(text[at]) == std::string::npos) {
      return std::string::npos;
    }
  }
  return std::string::npos;
}

// A file's fields but its body. The outbox writes the body last, so when
// the text ends in `,"body":"..."}` only what comes before is parsed and
// the body is merely checked to be a JSON string: a listing of many
// results costs little. Any other text is parsed whole.
Json withoutBody(const std::string& text) {
  static const std::string kBodyKey = ",\"body\":\"";
  const std::size_t key = text.find(kBodyKey);
  if (key != std::string::npos) {
    const std::size_t start = key + kBodyKey.size();
    const std::size_t length = jsonStringLength(text, start);
    const std::size_t after = start + length + 1;  // past the closing quote
    if (length != std::string::npos && (text.compare(after, std::string::npos, "}") == 0 ||
                                        text.compare(after, std::string::npos, "}\n") == 0)) {
      Json file = Json::parse(text.substr(0, key) + "}", nullptr, false);
      if (!file.is_discarded()) return file;
    }
  }
  Json file = Json::parse(text, nullptr, false);
  if (file.is_object()) file.erase("body");
  return file;
}

// The entry a file holds, checked field by field (so nothing throws).
bool entryFromJson(const Json& file, OutboxEntry& entry, bool withBody, std::string& why) {
  for (const char* key :
       {"unique_id", "message", "created", "subject", "topic", "handle", "body"}) {
    if ((withBody || std::string(key) != "body") && !isText(file, key)) {
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
  if (withBody) entry.message.body = file["body"].get<std::string>();
  // Results an earlier version put have none of these: no target, no request.
  if (isText(file, "target")) entry.message.target = file["target"].get<std::string>();
  if (isText(file, "request_id")) entry.message.requestId = file["request_id"].get<std::string>();
  if (file.contains("creation_time_ms") && file["creation_time_ms"].is_number_integer())
    entry.message.creationTimeMs = file["creation_time_ms"].get<std::int64_t>();
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

std::string entryName(std::uint64_t sequence, const std::string& uniqueId) {
  return sequenceText(sequence) + "-" + uniqueId + kSuffix;
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
    const std::string name = entryName(lastSequence_, message.messageId);
    if (!writeFileDurably(joinPath(folder_, name), fileText(entryJson(entry)), why)) return false;
    sequenceOf_[message.messageId] = lastSequence_;
    put_.push_back(OutboxName{lastSequence_, message.messageId});
    return true;
  });
}

bool Outbox::readEntryFile(const std::string& path, OutboxEntry& entry, bool withBody,
                           std::string& why) const {
  std::string text;
  if (!readWhole(path, text)) {
    why = "cannot be read";
    return false;
  }
  const Json file = withBody ? Json::parse(text, nullptr, false) : withoutBody(text);
  if (file.is_discarded() || !file.is_object()) {
    why = "is not JSON";
    return false;
  }
  if (!entryFromJson(file, entry, withBody, why)) return false;
  if (!endsWith(path, "-" + entry.message.messageId + kSuffix)) {
    why = "holds another unique_id: " + entry.message.messageId;
    return false;
  }
  return true;
}

bool Outbox::eachName(const std::function<void(const OutboxName&)>& onName,
                      std::string& why) const {
  return guarded(why, [&] {
    std::error_code error;
    fs::directory_iterator entry(fs::u8path(folder_), error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
      const std::string file = entry->path().filename().u8string();
      std::error_code typeError;
      if (!isEntryName(file) || !entry->is_regular_file(typeError)) continue;
      const OutboxName name{sequenceOf(file), idOfEntryName(file)};
      {
        std::lock_guard<std::mutex> lock(mutex_);
        sequenceOf_[name.uniqueId] = name.sequence;
      }
      onName(name);
    }
    if (error) why = "cannot read the folder " + folder_ + ": " + error.message();
    return !error;
  });
}

std::vector<OutboxName> Outbox::takePut() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::move(put_);
}

// Files are replaced only by renames, so they are read without the lock:
// a put never waits for a listing.
bool Outbox::eachPending(const std::function<void(const OutboxEntry&)>& onEntry,
                         const std::function<void(const std::string&)>& onUnreadable,
                         std::string& why) const {
  return guarded(why, [&] {
    std::vector<std::string> files;
    if (!fileNames(folder_, files, why)) return false;
    for (const std::string& file : files) {
      if (endsWith(file, kDurableTempSuffix) || file == kSenderLock) continue;
      OutboxEntry entry;
      std::string problem;
      if (!isEntryName(file)) {
        onUnreadable(file + ": not a name the outbox gives");
      } else if (!readEntryFile(joinPath(folder_, file), entry, false, problem)) {
        onUnreadable(file + ": " + problem);
      } else {
        onEntry(entry);
      }
    }
    return true;
  });
}

bool Outbox::pending(OutboxListing& listing, std::string& why) const {
  listing = OutboxListing();
  return eachPending([&](const OutboxEntry& entry) { listing.entries.push_back(entry); },
                     [&](const std::string& line) { listing.unreadable.push_back(line); }, why);
}

// The file of `uniqueId`: known from put or a listing, else looked for (a
// result an earlier run left, not listed yet in this one).
std::string Outbox::pathOf(const std::string& uniqueId, std::string& why) const {
  if (!isSafeId(uniqueId)) {
    why = "not a result's id: " + uniqueId;
    return "";
  }
  const auto known = sequenceOf_.find(uniqueId);
  if (known != sequenceOf_.end()) return joinPath(folder_, entryName(known->second, uniqueId));
  std::vector<std::string> files;
  if (!fileNames(folder_, files, why)) return "";
  for (const std::string& file : files) {
    if (isEntryName(file) && idOfEntryName(file) == uniqueId) {
      sequenceOf_[uniqueId] = sequenceOf(file);
      return joinPath(folder_, file);
    }
  }
  why = "no result " + uniqueId + " waits in " + folder_;
  return "";
}

bool Outbox::readWaiting(const std::string& uniqueId, std::string& path, OutboxEntry& entry,
                         std::string& why) const {
  path = pathOf(uniqueId, why);
  if (path.empty()) return false;
  if (readEntryFile(path, entry, true, why)) return true;
  why = path + " " + why;
  return false;
}

bool Outbox::read(const std::string& uniqueId, OutboxEntry& entry, std::string& why,
                  bool withBody) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return guarded(why, [&] {
    const std::string path = pathOf(uniqueId, why);
    return !path.empty() && readEntryFile(path, entry, withBody, why);
  });
}

bool Outbox::waits(const std::string& uniqueId) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string why;
  const std::string path = pathOf(uniqueId, why);
  std::error_code error;
  return !path.empty() && fs::exists(fs::u8path(path), error);
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
    if (path.empty()) return false;
    std::error_code error;
    if (!fs::remove(fs::u8path(path), error)) {
      why = error ? "cannot delete " + path + ": " + error.message()
                  : "no result " + uniqueId + " waits in " + folder_;
      return false;
    }
    sequenceOf_.erase(uniqueId);
    return true;
  });
}

std::string Outbox::senderLockPath() const {
  return joinPath(folder_, kSenderLock);
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
    sequenceOf_.erase(uniqueId);
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
  const std::string name = entryName(lastSequence_, entry.message.messageId);
  if (!writeFileDurably(joinPath(folder_, name), fileText(entryJson(entry)), why)) return false;
  sequenceOf_[entry.message.messageId] = lastSequence_;
  put_.push_back(OutboxName{lastSequence_, entry.message.messageId});
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
      if (!isEntryName(name) || !readEntryFile(joinPath(aside, name), entry, true, problem))
        continue;
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
