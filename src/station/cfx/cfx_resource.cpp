#include "station/cfx/cfx_resource.h"

namespace tarnwick {
namespace {

const char kStateChanged[] = "CFX.ResourcePerformance.StationStateChanged";
const char kFaultOccurred[] = "CFX.ResourcePerformance.FaultOccurred";
const char kFaultCleared[] = "CFX.ResourcePerformance.FaultCleared";
constexpr std::size_t kDescriptionLimit = 1024;

// A Description is cut at the SDK's limit, never inside a UTF-8 character.
std::string limitedDescription(const std::string& text) {
  if (text.size() <= kDescriptionLimit) return text;
  std::size_t end = kDescriptionLimit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

CfxJson cfxFaultJson(const CfxFault& fault) {
  CfxJson json;
  json["TransactionID"] = nullptr;
  json["Cause"] = fault.cause;
  json["Severity"] = fault.severity;
  json["FaultCode"] = fault.code;
  json["FaultOccurrenceId"] = fault.occurrenceId;
  json["Lane"] = nullptr;
  json["Stage"] = nullptr;
  json["SideLocation"] = nullptr;
  json["AccessType"] = nullptr;
  json["Description"] = limitedDescription(fault.description);
  json["DescriptionTranslations"] = nullptr;
  json["OccurredAt"] = cfxTextOrNull(fault.occurredAt);
  json["DueDateTime"] = nullptr;
  return json;
}

bool stationStateChangedMessage(const CfxEnvelope& envelope, const CfxStateChange& change,
                                const UuidSource& newUuid, CfxMessage& message) {
  CfxIdentifiers ids(newUuid);
  CfxJson body;
  // The SDK writes a ResourceState as its number in a string.
  body["OldState"] = std::to_string(change.oldState);
  body["OldStateDuration"] =
      change.oldDurationMs ? CfxJson(cfxTimeSpan(*change.oldDurationMs)) : CfxJson(nullptr);
  body["NewState"] = std::to_string(change.newState);
  body["RelatedFault"] = nullptr;
  return cfxEnvelope(kStateChanged, envelope, std::move(body), ids, message);
}

bool faultOccurredMessage(const CfxEnvelope& envelope, const CfxFault& fault,
                          const UuidSource& newUuid, CfxMessage& message) {
  CfxIdentifiers ids(newUuid);
  CfxJson body;
  body["Fault"] = cfxFaultJson(fault);
  return cfxEnvelope(kFaultOccurred, envelope, std::move(body), ids, message);
}

bool faultClearedMessage(const CfxEnvelope& envelope, const std::string& occurrenceId,
                         const UuidSource& newUuid, CfxMessage& message) {
  CfxIdentifiers ids(newUuid);
  CfxJson body;
  body["FaultOccurrenceId"] = occurrenceId;
  body["Operator"] = nullptr;
  return cfxEnvelope(kFaultCleared, envelope, std::move(body), ids, message);
}

}  // namespace tarnwick
