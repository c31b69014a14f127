#include "station/cfx/cfx_message.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

namespace tarnwick {
namespace {

using Json = nlohmann::ordered_json;

const char kUnitsTested[] = "CFX.Production.TestAndInspection.UnitsTested";
const char kHeartbeat[] = "CFX.Heartbeat";
const char kTextMeasurement[] = "CFX.Structures.TextMeasurement, CFX";

Json textOrNull(const std::string& text) {
  return text.empty() ? Json(nullptr) : Json(text);
}

// Hands out the UUIDs of one message; remembers when the source ran dry.
class Identifiers {
 public:
  explicit Identifiers(const UuidSource& source) : source_(source) {}
  std::string next() {
    std::string uuid = source_ ? source_() : std::string();
    if (uuid.empty()) failed_ = true;
    return uuid;
  }
  bool failed() const { return failed_; }

 private:
  const UuidSource& source_;
  bool failed_ = false;
};

// A text measurement: "$type" must come first for the CFX SDK's reader.
Json textMeasurement(Identifiers& ids, const std::string& name, int sequence, CfxResult result,
                     const std::string& value, const std::string& expected = "",
                     const std::string& recorded = "") {
  Json measurement;
  measurement["$type"] = kTextMeasurement;
  measurement["UniqueIdentifier"] = ids.next();
  measurement["MeasurementName"] = name;
  measurement["TimeRecorded"] = textOrNull(recorded);
  measurement["Sequence"] = sequence;
  measurement["Result"] = cfxResultText(result);
  measurement["Value"] = textOrNull(value);
  measurement["ExpectedValue"] = textOrNull(expected);
  return measurement;
}

Json test(Identifiers& ids, const std::string& name, const std::string& started,
          const std::string& ended, CfxResult result, const std::string& error) {
  Json entry;
  entry["UniqueIdentifier"] = ids.next();
  entry["TestName"] = name;
  entry["TestStartTime"] = textOrNull(started);
  entry["TestEndTime"] = textOrNull(ended);
  entry["Result"] = cfxResultText(result);
  entry["Error"] = textOrNull(error);
  entry["Measurements"] = Json::array();
  return entry;
}

// What the download recorded is kept as values only: nothing is judged by
// them, so each counts as Passed; the test's own Result says how it went.
Json downloadTest(Identifiers& ids, const CfxUnitResult& unit) {
  Json entry = test(ids, "FIRMWARE_DOWNLOAD", unit.started, unit.ended, unit.download, unit.reason);
  const std::vector<std::pair<const char*, const std::string*>> values = {
      {"VERSION_BEFORE", &unit.versionBefore},
      {"STAGE", &unit.stage},
      {"SLOT", &unit.slotLabel},
      {"PORT", &unit.port}};
  int sequence = 0;
  for (const auto& [name, value] : values) {
    entry["Measurements"].push_back(
        textMeasurement(ids, name, ++sequence, CfxResult::Passed, *value));
  }
  return entry;
}

Json checkTest(Identifiers& ids, const CfxVersionCheck& check) {
  Json entry = test(ids, "VERSION_CHECK", check.checked, check.checked, check.result, check.reason);
  entry["Measurements"].push_back(textMeasurement(ids, "VERSION_AFTER", 1, check.result,
                                                  check.versionAfter, check.expectedVersion,
                                                  check.checked));
  return entry;
}

// The download's result, unless the check after it failed.
CfxResult overallResult(const CfxUnitResult& unit) {
  // A modem already on the wanted version was not flashed: the unit is good.
  if (unit.download == CfxResult::Skipped) return CfxResult::Passed;
  if (unit.download == CfxResult::Passed && unit.check && unit.check->result == CfxResult::Failed) {
    return CfxResult::Failed;
  }
  return unit.download;
}

const std::string& unitIdentifier(const CfxUnitResult& unit) {
  if (!unit.imei.empty()) return unit.imei;
  if (!unit.serial.empty()) return unit.serial;
  return unit.location;
}

Json testedUnit(Identifiers& ids, const CfxUnitResult& unit) {
  Json entry;
  entry["UnitIdentifier"] = unitIdentifier(unit);
  entry["UnitPositionNumber"] = unit.slotIndex ? Json(*unit.slotIndex) : Json(nullptr);
  entry["OverallResult"] = cfxResultText(overallResult(unit));
  entry["Tests"] = Json::array({downloadTest(ids, unit)});
  if (unit.check) entry["Tests"].push_back(checkTest(ids, *unit.check));
  return entry;
}

// The envelope around `body`, and the AMQP fields beside it. The topic is
// the message name without its last part, as the CFX SDK sends it.
bool envelope(const std::string& name, const std::string& handle, const std::string& timeStamp,
              const std::string& uniqueId, Json body, Identifiers& ids, CfxMessage& message) {
  Json whole;
  whole["MessageName"] = name;
  whole["Version"] = "2.1";
  whole["TimeStamp"] = textOrNull(timeStamp);
  whole["UniqueID"] = uniqueId;
  whole["Source"] = handle;
  whole["Target"] = nullptr;
  whole["RequestID"] = nullptr;
  whole["MessageBody"] = std::move(body);
  if (ids.failed() || uniqueId.empty()) return false;
  // Device text may hold bytes that are not UTF-8: replaced, never thrown.
  message.body = whole.dump(-1, ' ', false, Json::error_handler_t::replace);
  message.messageId = whole["UniqueID"].get<std::string>();
  message.messageName = name;
  message.topic = name.substr(0, name.rfind('.'));
  message.handle = handle;
  message.subject = handle + "." + name;
  return true;
}

// A TimeSpan as .NET writes it: "00:01:00".
std::string timeSpanText(int seconds) {
  if (seconds < 0) seconds = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  return text;
}

}  // namespace

const char* cfxResultText(CfxResult result) {
  switch (result) {
    case CfxResult::Passed:
      return "Passed";
    case CfxResult::Failed:
      return "Failed";
    case CfxResult::Error:
      return "Error";
    case CfxResult::Aborted:
      return "Aborted";
    case CfxResult::Skipped:
      return "Skipped";
  }
  return "Error";
}

bool unitsTestedMessage(const CfxUnitResult& unit, const UuidSource& newUuid, CfxMessage& message) {
  Identifiers ids(newUuid);
  Json body;
  body["TransactionId"] = ids.next();
  body["TestMethod"] = "Automated";
  body["RecipeName"] = textOrNull(unit.imageName);
  body["RecipeRevision"] = textOrNull(unit.imageSha256);
  body["TestedUnits"] = Json::array({testedUnit(ids, unit)});
  const std::string uniqueId = unit.uniqueId.empty() ? ids.next() : unit.uniqueId;
  return envelope(kUnitsTested, unit.handle, unit.timeStamp, uniqueId, std::move(body), ids,
                  message);
}

bool heartbeatMessage(const std::string& handle, const std::string& timeStamp, int frequencySeconds,
                      const UuidSource& newUuid, CfxMessage& message) {
  Identifiers ids(newUuid);
  Json body;
  body["CFXHandle"] = handle;
  body["HeartbeatFrequency"] = timeSpanText(frequencySeconds);
  // null: not known (an empty list would say there are none).
  body["ActiveFaults"] = nullptr;
  body["ActiveRecipes"] = nullptr;
  const std::string uniqueId = ids.next();
  return envelope(kHeartbeat, handle, timeStamp, uniqueId, std::move(body), ids, message);
}

}  // namespace tarnwick
