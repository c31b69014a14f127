#include "station/run/result_message.h"

namespace tarnwick {
namespace {

CfxResult downloadResult(FlashResult result) {
  switch (result) {
    case FlashResult::Pass:
      return CfxResult::Passed;
    case FlashResult::Fail:
      return CfxResult::Failed;
    case FlashResult::Aborted:
      return CfxResult::Aborted;
    case FlashResult::Skipped:
      return CfxResult::Skipped;
    case FlashResult::Refused:  // never published: nothing was done to the unit
      break;
  }
  return CfxResult::Failed;
}

CfxResult checkResult(Verification verification) {
  switch (verification) {
    case Verification::Verified:
      return CfxResult::Passed;
    case Verification::Mismatch:
      return CfxResult::Failed;
    case Verification::Unverified:
    case Verification::None:
      break;
  }
  return CfxResult::Skipped;
}

// The image's file name without its folders, either build's separators.
std::string fileNameOf(const std::string& path) {
  const std::string::size_type slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

CfxWorkResult workResultOf(const ModemRecord& record) {
  switch (record.result) {
    case FlashResult::Pass:
      return record.verified == Verification::Mismatch ? CfxWorkResult::Failed
                                                       : CfxWorkResult::Completed;
    case FlashResult::Fail:
      return CfxWorkResult::Failed;
    case FlashResult::Aborted:
      return CfxWorkResult::Aborted;
    case FlashResult::Skipped:
    case FlashResult::Refused:  // never sent: a unit the MES refused has no work
      return CfxWorkResult::Skipped;
  }
  return CfxWorkResult::Failed;
}

CfxFault cfxFaultOf(const StationFault& fault) {
  CfxFault cfx;
  cfx.cause = fault.cause;
  cfx.severity = faultSeverityName(fault.severity);
  cfx.code = fault.code;
  cfx.occurrenceId = fault.occurrenceId;
  cfx.description = fault.description;
  cfx.occurredAt = cfxTime(fault.occurredAt);
  return cfx;
}

CfxUnitResult unitResultOf(const ModemRecord& record, const std::string& handle,
                           const std::string& resultTime, const std::string& expectedVersion) {
  CfxUnitResult unit;
  unit.handle = handle;
  unit.timeStamp = cfxTime(resultTime);
  unit.imageName = fileNameOf(record.image);
  unit.imageSha256 = record.imageSha256;
  unit.imei = record.imei;
  unit.serial = record.serial;
  unit.location = record.location;
  if (record.slotIndex > 0) unit.slotIndex = record.slotIndex;
  unit.slotLabel = record.slot;
  if (record.port > 0) unit.port = "COM" + std::to_string(record.port);
  unit.download = downloadResult(record.result);
  unit.started = cfxTime(record.started);
  unit.ended = cfxTime(record.ended);
  unit.reason = record.reason;
  unit.versionBefore = record.versionBefore;
  unit.stage = record.stage;
  // A cycle whose flash passed was checked after its re-plug.
  if (record.watchCycle && record.result == FlashResult::Pass) {
    CfxVersionCheck check;
    check.result = checkResult(record.verified);
    check.versionAfter = record.hasVersionAfter ? record.versionAfter : "";
    check.expectedVersion = expectedVersion;
    check.checked = cfxTime(resultTime);
    unit.check = check;
  }
  return unit;
}

}  // namespace tarnwick
