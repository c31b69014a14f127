#include "station/cfx/cfx_work.h"

namespace tarnwick {
namespace {

const char kWorkStarted[] = "CFX.Production.WorkStarted";
const char kWorkCompleted[] = "CFX.Production.WorkCompleted";

// A UnitPosition's Status: the work's result as a unit's state.
const char* unitStatus(CfxWorkResult result) {
  switch (result) {
    case CfxWorkResult::Completed:
      return "Pass";
    case CfxWorkResult::Failed:
    case CfxWorkResult::Aborted:
      return "Fail";
    case CfxWorkResult::Skipped:
      return "Skip";
  }
  return "Fail";
}

// The one UnitPosition of a unit, with the SDK's defaults for what a
// modem has not (a place on a panel, a rotation).
CfxJson unitPosition(const CfxUnitResult& unit, CfxWorkResult result) {
  CfxJson position;
  position["UnitIdentifier"] = cfxUnitIdentifier(unit);
  position["PositionNumber"] = unit.slotIndex ? CfxJson(*unit.slotIndex) : CfxJson(nullptr);
  position["PositionName"] = cfxTextOrNull(unit.slotLabel);
  position["X"] = 0.0;
  position["Y"] = 0.0;
  position["Rotation"] = 0.0;
  position["FlipX"] = false;
  position["FlipY"] = false;
  position["Status"] = unitStatus(result);
  return position;
}

}  // namespace

const char* cfxWorkResultText(CfxWorkResult result) {
  switch (result) {
    case CfxWorkResult::Completed:
      return "Completed";
    case CfxWorkResult::Failed:
      return "Failed";
    case CfxWorkResult::Aborted:
      return "Aborted";
    case CfxWorkResult::Skipped:
      return "Skipped";
  }
  return "Failed";
}

bool workStartedMessage(const CfxUnitResult& unit, const UuidSource& newUuid, CfxMessage& message) {
  CfxIdentifiers ids(newUuid);
  CfxJson body;
  body["PrimaryIdentifier"] = cfxUnitIdentifier(unit);
  body["HermesIdentifier"] = nullptr;
  body["TransactionID"] = unit.transactionId;
  body["Lane"] = nullptr;
  body["UnitCount"] = 1;
  body["Units"] = CfxJson::array({unitPosition(unit, CfxWorkResult::Completed)});
  body["RecipeName"] = cfxTextOrNull(unit.imageName);
  body["Revision"] = cfxTextOrNull(unit.imageSha256);
  body["WorkOrderIdentifier"] = nullptr;
  if (unit.transactionId.empty()) return false;
  return cfxEnvelope(kWorkStarted, cfxEnvelopeFrom(unit.handle, unit.timeStamp), std::move(body),
                     ids, message);
}

bool workCompletedMessage(const CfxUnitResult& unit, CfxWorkResult result,
                          const UuidSource& newUuid, CfxMessage& message) {
  CfxIdentifiers ids(newUuid);
  CfxJson body;
  body["TransactionID"] = unit.transactionId;
  body["Result"] = cfxWorkResultText(result);
  body["PrimaryIdentifier"] = cfxUnitIdentifier(unit);
  body["HermesIdentifier"] = nullptr;
  body["UnitCount"] = 1;
  body["Units"] = CfxJson::array({unitPosition(unit, result)});
  body["PerformanceImpacts"] = CfxJson::array();
  if (unit.transactionId.empty()) return false;
  return cfxEnvelope(kWorkCompleted, cfxEnvelopeFrom(unit.handle, unit.timeStamp), std::move(body),
                     ids, message);
}

}  // namespace tarnwick
