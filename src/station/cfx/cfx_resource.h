#pragma once

#include <optional>
#include <string>

#include "station/cfx/cfx_envelope.h"

namespace tarnwick {

// A station fault as CFX.Structures.Fault carries it.
struct CfxFault {
  std::string cause;     // "MechanicalFailure", "SoftwareFailure", ...
  std::string severity;  // "Information", "Warning", "Error", "Alarm"
  std::string code;      // FaultCode: "SLOT_FAILING"
  std::string occurrenceId;
  std::string description;  // at most 1024 characters are sent
  std::string occurredAt;   // ISO 8601 with its UTC offset
};

// The Fault object (TransactionID, Lane, Stage and the rest null: a
// station fault belongs to no unit).
CfxJson cfxFaultJson(const CfxFault& fault);

// CFX.ResourcePerformance.StationStateChanged: `oldState` to `newState`
// (ResourceState codes such as 1100), after `oldDurationMs` in the old one
// (none: null, when the old state's start is not known).
struct CfxStateChange {
  int oldState = 6000;
  std::optional<std::int64_t> oldDurationMs;
  int newState = 6000;
};
bool stationStateChangedMessage(const CfxEnvelope& envelope, const CfxStateChange& change,
                                const UuidSource& newUuid, CfxMessage& message);

// CFX.ResourcePerformance.FaultOccurred and FaultCleared (the fault's
// FaultOccurrenceId, no Operator: the station clears its own faults).
bool faultOccurredMessage(const CfxEnvelope& envelope, const CfxFault& fault,
                          const UuidSource& newUuid, CfxMessage& message);
bool faultClearedMessage(const CfxEnvelope& envelope, const std::string& occurrenceId,
                         const UuidSource& newUuid, CfxMessage& message);

}  // namespace tarnwick
