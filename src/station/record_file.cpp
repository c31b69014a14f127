#include "station/record_file.h"

#include "station/record_json.h"

namespace tarnwick {

bool RecordFile::write(const ModemRecord& record) {
  return file_->append(jsonLine(recordJson(record)) + "\n");
}

}  // namespace tarnwick
