#pragma once

#include <memory>
#include <string>

namespace tarnwick {

// A file that grows only at its end, each addition on disk before the call
// returns (so a crash loses no line already written).
class SyncedAppendFile {
 public:
  virtual ~SyncedAppendFile() = default;

  // Opens `path` for appending, creating it if need be. On false `why` says why.
  virtual bool open(const std::string& path, std::string& why) = 0;

  // Appends `text` whole and waits until the system has it on disk.
  virtual bool append(const std::string& text) = 0;
};

std::unique_ptr<SyncedAppendFile> makeSystemSyncedAppendFile();

}  // namespace tarnwick
