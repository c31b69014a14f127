#include "station/cfx/cfx_message.h"

#include <vector>

namespace tarnwick {
namespace {

using Json = CfxJson;
using Identifiers = CfxIdentifiers;

const char kUnitsTested[] = "CFX.Production.TestAndInspection.UnitsTested";
const char kTextMeasurement[] = "CFX.Structures.TextMeasurement, CFX";

Json textOrNull(const std::string& text) {
  return cfxTextOrNull(text);
}

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

Json testedUnit(Identifiers& ids, const CfxUnitResult& unit) {
  Json entry;
  entry["UnitIdentifier"] = cfxUnitIdentifier(unit);
  entry["UnitPositionNumber"] = unit.slotIndex ? Json(*unit.slotIndex) : Json(nullptr);
  entry["OverallResult"] = cfxResultText(overallResult(unit));
  entry["Tests"] = Json::array({downloadTest(ids, unit)});
  if (unit.check) entry["Tests"].push_back(checkTest(ids, *unit.check));
  return entry;
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

const std::string& cfxUnitIdentifier(const CfxUnitResult& unit) {
  if (!unit.imei.empty()) return unit.imei;
  if (!unit.serial.empty()) return unit.serial;
  return unit.location;
}

bool unitsTestedMessage(const CfxUnitResult& unit, const UuidSource& newUuid, CfxMessage& message) {
  Identifiers ids(newUuid);
  Json body;
  body["TransactionId"] = unit.transactionId.empty() ? ids.next() : unit.transactionId;
  body["TestMethod"] = "Automated";
  body["RecipeName"] = textOrNull(unit.imageName);
  body["RecipeRevision"] = textOrNull(unit.imageSha256);
  body["TestedUnits"] = Json::array({testedUnit(ids, unit)});
  return cfxEnvelope(kUnitsTested, cfxEnvelopeFrom(unit.handle, unit.timeStamp, unit.uniqueId),
                     std::move(body), ids, message);
}

}  // namespace tarnwick
