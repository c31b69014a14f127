#pragma once

#include <memory>
#include <string>

namespace tarnwick {

// A file that grows only at its end, each addition on disk before the call
// returns (so a crash loses no line already written).
class SyncedAppendFile {
 public:
  virtual ~SyncedAppendFile() = default;

  // Opens `path` for appending, creating it if need be; anything that is not
  // a regular file (a FIFO, a device, a folder) is refused without waiting
  // for a reader. On false `why` says why.
  virtual bool open(const std::string& path, std::string& why) = 0;

  // Appends `text` whole and waits until the system has it on disk. On a
  // failed or short write the file is cut back to its length before, so
  // nothing of `text` stays. When the file ended in a torn line (no final
  // newline) on opening, the first addition starts on a line of its own.
  virtual bool append(const std::string& text) = 0;

  // Whether the path opened still names the open file. When the file was
  // deleted or renamed away, a new one is created at the path and used from
  // then on, and true is returned with `what` saying so (or, when it cannot
  // be created, why not; the old one is kept then). False: nothing changed.
  virtual bool followPath(std::string& /*what*/) { return false; }
};

std::unique_ptr<SyncedAppendFile> makeSystemSyncedAppendFile();

}  // namespace tarnwick
