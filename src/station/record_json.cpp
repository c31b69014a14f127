#include "station/record_json.h"

#include <cmath>
#include <cstdlib>

namespace tarnwick {
namespace {

// Seconds and rates to the millisecond / a thousandth of a KiB, so records
// stay short and compare across builds.
double rounded(double value) {
  return std::round(value * 1000.0) / 1000.0;
}

// Watch's fields: null where the cycle has nothing to say.
void addCycleFields(const ModemRecord& record, OrderedJson& line) {
  line["version_after"] = record.hasVersionAfter ? OrderedJson(record.versionAfter) : OrderedJson();
  line["verified"] = record.verified == Verification::None
                         ? OrderedJson()
                         : OrderedJson(verificationName(record.verified));
  line["slot"] = record.slot.empty() ? OrderedJson() : OrderedJson(record.slot);
  line["attempt"] = record.attempt;
  line["duplicate"] = record.duplicate;
}

}  // namespace

OrderedJson textOrNull(const std::string& text) {
  return text.empty() ? OrderedJson() : OrderedJson(text);
}

// As the inventory (`list --json`) shows it: a number, null when the device
// has a single interface or it is not known.
OrderedJson interfaceJson(const std::string& twoHexDigits) {
  if (twoHexDigits.empty()) return OrderedJson();
  char* end = nullptr;
  const long number = std::strtol(twoHexDigits.c_str(), &end, 16);
  return *end == '\0' ? OrderedJson(number) : OrderedJson();
}

OrderedJson comPortJson(int comNumber) {
  return comNumber > 0 ? OrderedJson("COM" + std::to_string(comNumber)) : OrderedJson();
}

OrderedJson recordJson(const ModemRecord& record) {
  OrderedJson line;
  line["run"] = record.run;
  line["host"] = record.host;
  line["tool_version"] = record.toolVersion;
  line["location"] = record.location;
  line["serial"] = textOrNull(record.serial);
  line["vid"] = record.vid;
  line["pid"] = record.pid;
  line["port"] = comPortJson(record.port);
  if (!record.tty.empty()) line["tty"] = record.tty;
  line["interface"] = interfaceJson(record.interface);
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
  return line;
}

std::string jsonLine(const OrderedJson& value) {
  return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace tarnwick
