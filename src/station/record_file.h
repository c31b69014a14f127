#pragma once

#include <memory>
#include <string>

#include "platform/synced_append_file.h"
#include "station/modem_record.h"

namespace tarnwick {

// --record FILE: one JSON line per modem, appended and on disk as soon as
// that modem has ended.
class RecordFile {
 public:
  explicit RecordFile(std::unique_ptr<SyncedAppendFile> file = makeSystemSyncedAppendFile())
      : file_(std::move(file)) {}

  bool open(const std::string& path, std::string& why) { return file_->open(path, why); }
  bool write(const ModemRecord& record);

 private:
  std::unique_ptr<SyncedAppendFile> file_;
};

}  // namespace tarnwick
