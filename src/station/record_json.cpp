#include "station/record_json.h"

#include <cmath>

namespace tarnwick {
namespace {

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

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

OrderedJson textOrNull(const std::string& text) {
  return text.empty() ? OrderedJson() : OrderedJson(text);
}

int interfaceNumber(const std::string& text) {
  std::string digits = text.rfind("MI_", 0) == 0 ? text.substr(3) : text;
  if (digits.empty() || digits.size() > 2) return -1;
  for (char c : digits) {
    if (!isHexDigit(c)) return -1;
  }
  return std::stoi(digits, nullptr, 16);
}

// As the inventory (`list --json`) shows it: a number, null when the device
// has a single interface or it is not known.
OrderedJson interfaceJson(const std::string& twoHexDigits) {
  const int number = interfaceNumber(twoHexDigits);
  return number < 0 ? OrderedJson() : OrderedJson(number);
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
  line["imei"] = textOrNull(record.imei);
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
