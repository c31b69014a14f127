#pragma once

#include <string>

#include "station/cfx/cfx_envelope.h"
#include "station/cfx/cfx_message.h"

namespace tarnwick {

// How a unit's work ended, as CFX.Production.WorkCompleted says it.
enum class CfxWorkResult { Completed, Failed, Aborted, Skipped };
const char* cfxWorkResultText(CfxWorkResult result);

// CFX.Production.WorkStarted of one unit: `unit` names it (PrimaryIdentifier
// and its one Units entry) as its UnitsTested does, with the same
// `transactionId` (TransactionID here, never empty), recipe and position;
// its envelope's TimeStamp is `timeStamp`, its UniqueID always a new one
// (`uniqueId` is the UnitsTested's). False when `newUuid` gave no UUID or
// the unit has no transaction.
bool workStartedMessage(const CfxUnitResult& unit, const UuidSource& newUuid, CfxMessage& message);

// CFX.Production.WorkCompleted of the same unit, with its `result`.
bool workCompletedMessage(const CfxUnitResult& unit, CfxWorkResult result,
                          const UuidSource& newUuid, CfxMessage& message);

}  // namespace tarnwick
