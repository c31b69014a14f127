#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "station/publish/cfx_message.h"

namespace tarnwick {

// One result waiting in the outbox.
struct OutboxEntry {
  CfxMessage message;     // its messageId is the entry's unique id
  std::string created;    // when it was put, as the caller gave it
  int attempts = 0;       // sends that got no `accepted`
  std::string lastError;  // why the last one did not; empty: none
};

// What the outbox holds: the entries oldest first, and the files that could
// not be read as one (each "NAME: why"). Those are left where they are:
// never sent, never deleted.
struct OutboxListing {
  std::vector<OutboxEntry> entries;
  std::vector<std::string> unreadable;
};

// A folder of results waiting to be sent, one file each, written so that a
// crash or a power cut loses none: a result is in the outbox once `put`
// returns true, until `remove` or `reject`. Files being written carry the
// temporary suffix of durable_file.h and are never read as results. One
// object may be used from several threads (one putting, one sending).
class Outbox {
 public:
  explicit Outbox(std::string folder);

  // Creates the folder and its `rejected` folder where missing (each the
  // user's alone, as durable_file.h makes them), and deletes temporary
  // files an earlier run left in them when it stopped while writing (older
  // than a minute: younger ones may be another program's, still being
  // written).
  bool open(std::string& why);

  // Adds `message` with `created` and no attempts yet, on disk before it
  // returns true.
  bool put(const CfxMessage& message, const std::string& created, std::string& why);

  // Everything waiting, oldest first. False only when the folder cannot be
  // read; files that cannot be read as results are in `listing.unreadable`.
  bool pending(OutboxListing& listing, std::string& why) const;

  // One more send of `uniqueId` got no `accepted`; `error` says why.
  bool noteAttempt(const std::string& uniqueId, const std::string& error, std::string& why);

  // `uniqueId` was accepted: its file is deleted.
  bool remove(const std::string& uniqueId, std::string& why);

  // `uniqueId` was refused for good: its file moves to `rejected/`, with
  // the broker's `error` added as "rejected_error".
  bool reject(const std::string& uniqueId, const std::string& error, std::string& why);

  const std::string& folder() const { return folder_; }

  // Whether a result can be put and a refused one set aside: a small file
  // is written, synced and deleted in the folder and in `rejected/`. False
  // with the system's reason (a read-only or full disk, no permission).
  bool checkWritable(std::string& why);

  // Puts every result in `rejected/` back to wait, oldest first, under its
  // own unique id and without the broker's error, each after what waits
  // now. `moved`: how many. A file there that is no result stays.
  bool retryRejected(std::size_t& moved, std::string& why);

 private:
  std::string pathOf(const std::string& uniqueId, std::string& why) const;
  bool readEntryFile(const std::string& path, OutboxEntry& entry, std::string& why) const;
  // The file of waiting result `uniqueId` and what it holds.
  bool readWaiting(const std::string& uniqueId, std::string& path, OutboxEntry& entry,
                   std::string& why) const;

  std::string folder_;
  mutable std::mutex mutex_;  // guards the members below and each file change
  std::uint64_t lastSequence_ = 0;
  // File names of the results this object has put or listed, by unique id.
  mutable std::map<std::string, std::string> fileNameOf_;

  // Writes `entry` (from rejected/) into the folder under a new name.
  bool putBack(const OutboxEntry& entry, std::string& why);
};

}  // namespace tarnwick
