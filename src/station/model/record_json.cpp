#include "station/model/record_json.h"

#include <cmath>

namespace tarnwick {
namespace {

// Seconds and rates to the millisecond / a thousandth of a KiB, so records
// stay short and compare across builds.
double rounded(double value) {
  return std::round(value * 1000.0) / 1000.0;
}

// Watch's fields: null where the cycle has nothing to say.
void addCycleFields(const ModemRecord& record, OrderedJson& line) {
  line["cycle"] = record.cycle;
  line["version_after"] = record.hasVersionAfter ? OrderedJson(record.versionAfter) : OrderedJson();
  line["verified"] = record.verified == Verification::None
                         ? OrderedJson()
                         : OrderedJson(verificationName(record.verified));
  line["slot"] = record.slot.empty() ? OrderedJson() : OrderedJson(record.slot);
  line["attempt"] = record.attempt;
  line["duplicate"] = record.duplicate;
}

}  // namespace

OrderedJson recordJson(const ModemRecord& record) {
  OrderedJson line;
  line["run"] = record.run;
  line["host"] = record.host;
  line["tool_version"] = record.toolVersion;
  const OrderedJson imei = textOrNull(record.imei);
  putModemIdentity(line, record.location, textOrNull(record.serial), record.vid, record.pid, &imei);
  putPort(line, knownComNumber(record.port), record.tty, record.interfaceNumber);
  line["version_before"] = record.versionBefore;
  line["image"] = record.image;
  line["image_size"] = record.imageSize;
  line["image_sha256"] = record.imageSha256;
  line["bytes_sent"] = record.bytesSent;
  line["packets"] = record.packets;
  line["started"] = record.started;
  line["ended"] = record.ended;
  line["seconds"] = rounded(record.seconds);
  line["kib_per_s"] = rounded(record.kibPerS);
  line["result"] = resultName(record.result);
  line["stage"] = record.stage;
  line["reason"] = record.reason;
  line["log"] = record.log;
  if (record.watchCycle) addCycleFields(record, line);
  if (!record.messageId.empty()) line["message_id"] = record.messageId;
  return line;
}

OrderedJson runStartJson(const ModemRecord& base) {
  OrderedJson start;
  start["run"] = base.run;
  start["tool_version"] = base.toolVersion;
  start["image"] = base.image;
  start["image_size"] = base.imageSize;
  start["image_sha256"] = base.imageSha256;
  start["host"] = base.host;
  return start;
}

std::string jsonLine(const OrderedJson& value) {
  return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace tarnwick
