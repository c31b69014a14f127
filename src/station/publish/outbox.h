#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "station/cfx/cfx_message.h"

namespace tarnwick {

// One result waiting in the outbox.
struct OutboxEntry {
  CfxMessage message;     // its messageId is the entry's unique id
  std::string created;    // when it was put, as the caller gave it
  int attempts = 0;       // sends that got no `accepted`
  std::string lastError;  // why the last one did not; empty: none
};

// What the outbox holds: the entries oldest first (without their bodies:
// `read` gives a whole one), and the files that could not be read as one
// (each "NAME: why"). Those are left where they are: never sent, never
// deleted.
struct OutboxListing {
  std::vector<OutboxEntry> entries;
  std::vector<std::string> unreadable;
};

// A waiting result known by its file's name alone: the sequence its name
// starts with (which orders the outbox oldest first) and its unique id.
struct OutboxName {
  std::uint64_t sequence = 0;
  std::string uniqueId;
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
  // The same one entry at a time, oldest first: each waiting result's entry
  // (without its body) to `onEntry`, each file that cannot be read as one
  // ("NAME: why") to `onUnreadable`. Nothing is kept, so a listing of any
  // size takes little memory.
  bool eachPending(const std::function<void(const OutboxEntry&)>& onEntry,
                   const std::function<void(const std::string&)>& onUnreadable,
                   std::string& why) const;

  // Each waiting result's name to `onName`, in no order, from the folder's
  // listing alone: no file is read and nothing is kept. False only when the
  // folder cannot be read.
  bool eachName(const std::function<void(const OutboxName&)>& onName, std::string& why) const;
  // The results this object has put since the last call, in the order put.
  std::vector<OutboxName> takePut();
  // The whole entry of waiting result `uniqueId` (without its body: cheaper).
  bool read(const std::string& uniqueId, OutboxEntry& entry, std::string& why,
            bool withBody = true) const;
  // Whether `uniqueId` still waits (another program may have sent it).
  bool waits(const std::string& uniqueId) const;

  // One more send of `uniqueId` got no `accepted`; `error` says why.
  bool noteAttempt(const std::string& uniqueId, const std::string& error, std::string& why);

  // `uniqueId` was accepted: its file is deleted. The deletion is not
  // synced: should a power cut bring the file back, the result is sent
  // once more (a duplicate, never a loss), and sending stays cheap.
  bool remove(const std::string& uniqueId, std::string& why);

  // `uniqueId` was refused for good: its file moves to `rejected/`, with
  // the broker's `error` added as "rejected_error".
  bool reject(const std::string& uniqueId, const std::string& error, std::string& why);

  const std::string& folder() const { return folder_; }
  // The file a sender locks while it sends this folder; never a result.
  std::string senderLockPath() const;

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
  bool readEntryFile(const std::string& path, OutboxEntry& entry, bool withBody,
                     std::string& why) const;
  // The file of waiting result `uniqueId` and what it holds.
  bool readWaiting(const std::string& uniqueId, std::string& path, OutboxEntry& entry,
                   std::string& why) const;

  std::string folder_;
  mutable std::mutex mutex_;  // guards the members below and each file change
  std::uint64_t lastSequence_ = 0;
  // The sequence in the file name of each result this object has put or
  // listed, by unique id: a result's file is found without a listing.
  mutable std::unordered_map<std::string, std::uint64_t> sequenceOf_;
  std::vector<OutboxName> put_;  // put since the last `takePut`

  // Writes `entry` (from rejected/) into the folder under a new name.
  bool putBack(const OutboxEntry& entry, std::string& why);
};

}  // namespace tarnwick
