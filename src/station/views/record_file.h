#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/synced_append_file.h"
#include "station/model/modem_record.h"

namespace tarnwick {

// --record FILE: one JSON line per modem, appended and on disk as soon as
// that modem has ended.
class RecordFile {
 public:
  explicit RecordFile(std::unique_ptr<SyncedAppendFile> file = makeSystemSyncedAppendFile())
      : file_(std::move(file)) {}

  bool open(const std::string& path, std::string& why);
  // Where a lost record (by location and serial) and a record file created
  // again are said, as they happen; nowhere by default.
  void tellTo(std::FILE* notices) { notices_ = notices; }
  // Appends `record` whole, or nothing of it: false when it was lost.
  bool write(const ModemRecord& record);

 private:
  void tell(const std::string& text);

  std::unique_ptr<SyncedAppendFile> file_;
  std::string path_;
  std::FILE* notices_ = nullptr;
};

}  // namespace tarnwick
