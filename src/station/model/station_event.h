#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "station/model/flash_target.h"
#include "station/model/modem_record.h"
#include "station/model/stage.h"
#include "station/model/station_faults.h"

namespace tarnwick {

// What a worker tells the rest of the station about its modem.
enum class EventKind {
  ModemStart,  // the worker has its turn and begins with the modem
  Stage,       // the worker moves on to `stage`
  Version,     // the version before the download is `text` (empty: unknown)
  Port,        // the AT port is `port`
  Progress,    // `bytesSent` of `imageSize` bytes acknowledged
  ModemEnd,    // the worker is done: `record`
  // Watch: from the verifying worker, and from the thread that reads the
  // device lists.
  VerifyEnd,  // the version after the re-plug: `text` when `answered`, else why not; `imei`
  Found,      // a modem appeared and starts a cycle: `target`
  Replug,     // the flash passed: the operator is to re-plug the modem
  Gone,       // the modem left the device list
  Back,       // the modem is back after its re-plug: `target`
  NotBack,    // the modem taken for the cycle's was another unit: the cycle waits on
  CycleEnd,   // the cycle is over: its final `record`
  Waiting,    // no modem is present: `text` says what the station waits for (empty: one is)
  // From the worker, once the unit is known (its IMEI asked) and before it
  // is flashed: `record` as it stands, its work begins.
  UnitKnown,
  // The station's own (watch), for no modem in particular.
  FaultRaised,   // `fault` has begun
  FaultCleared,  // `fault` has ended
  StateChanged,  // the station's state is `state` now
  // With --validate: the unit waits for the MES's answer, `text` says why
  // (empty: it waits no more).
  MesWait,
};

// The station's state moved from `oldState` to `newState` (ResourceState
// codes), after `oldStateMs` in the old one (none: unknown).
struct StationStateChange {
  int oldState = 0;
  int newState = 0;
  std::optional<std::int64_t> oldStateMs;
};

struct StationEvent {
  using Clock = std::chrono::steady_clock;

  EventKind kind = EventKind::Stage;
  std::size_t modem = 0;  // index of the modem in the run
  Clock::time_point at = Clock::now();
  Stage stage = Stage::Connect;
  std::string text;
  int port = 0;
  std::uint64_t bytesSent = 0;
  std::uint64_t imageSize = 0;
  ModemRecord record;
  bool answered = false;
  std::string imei;  // VerifyEnd: the IMEI the modem gave; empty: none
  FlashTarget target;
  // ModemEnd, CycleEnd: false when `record` could not be written to the
  // record file.
  bool recordWritten = true;
  StationFault fault;        // FaultRaised, FaultCleared
  StationStateChange state;  // StateChanged
};

}  // namespace tarnwick
