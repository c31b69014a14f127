#include "station/views/record_file.h"

#include "station/model/record_json.h"

namespace tarnwick {

bool RecordFile::open(const std::string& path, std::string& why) {
  path_ = path;
  return file_->open(path, why);
}

bool RecordFile::write(const ModemRecord& record) {
  std::string changed;
  if (file_->followPath(changed)) tell("record file " + path_ + ": " + changed);
  if (file_->append(jsonLine(recordJson(record)) + "\n")) return true;
  tell("the record of " + record.location + " (serial " +
       (record.serial.empty() ? std::string("unknown") : record.serial) +
       ") could not be written to " + path_);
  return false;
}

void RecordFile::tell(const std::string& text) {
  if (notices_ == nullptr) return;
  const std::string line = "tarnwick-station: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), notices_);
  std::fflush(notices_);
}

}  // namespace tarnwick
