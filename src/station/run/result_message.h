#pragma once

#include <string>

#include "station/cfx/cfx_message.h"
#include "station/cfx/cfx_resource.h"
#include "station/cfx/cfx_work.h"
#include "station/model/modem_record.h"
#include "station/model/station_faults.h"

namespace tarnwick {

// The broker's form of one modem's result (a flash) or one cycle's (watch):
// `handle` is this station's CFX handle, `resultTime` when the result became
// final (isoTimeUtc), `expectedVersion` what the check after the re-plug
// wanted (empty: a version other than the one before).
CfxUnitResult unitResultOf(const ModemRecord& record, const std::string& handle,
                           const std::string& resultTime, const std::string& expectedVersion);

// How the unit's work ended, as WorkCompleted says it: Completed for a
// PASS (then VERIFIED or UNVERIFIED in watch), Failed for a FAIL or a
// MISMATCH, Aborted, Skipped (already on the version).
CfxWorkResult workResultOf(const ModemRecord& record);

// A station fault as CFX carries it.
CfxFault cfxFaultOf(const StationFault& fault);

}  // namespace tarnwick
