#pragma once

#include <functional>
#include <string>

#include "station/model/station_event.h"
#include "station/model/station_faults.h"
#include "station/run/result_publishing.h"

namespace tarnwick {

// What `watch` tells about the station itself, beside its units: its state
// and its faults. Each change is shown (a StationEvent to every view) and,
// with --publish, goes to the MES: through the outbox, but for a fault of
// the outbox itself, which is sent directly. Used by the run's reading
// thread; the faults may be read from any thread.
class StationMessages {
 public:
  using Show = std::function<void(const StationEvent&)>;
  using Say = std::function<void(const std::string&)>;
  StationMessages(ResultPublishing& publishing, Show show, Say say)
      : publishing_(publishing), show_(std::move(show)), say_(std::move(say)) {}

  // The station is in `state` (a ResourceState code) from now on; nothing
  // when it was in it already. The first is told with the state before
  // the run unknown.
  void state(int state, StationEvent::Clock::time_point now);

  // Makes `fault` active (its occurrence id and time are given here);
  // nothing when its code and slot are active already.
  void raise(StationFault fault);
  // Ends the fault `code` at `slot`, when it is active.
  void clear(const std::string& code, const std::string& slot);

  // A record was written whole, or could not be (RECORD_WRITE).
  void recordWritten(bool written, const std::string& file);
  // Something was put into the outbox, or could not be (OUTBOX_WRITE).
  void outboxPut(bool put, const std::string& folder, const std::string& why);

  const StationFaults& faults() const { return faults_; }

 private:
  // Into the outbox; a failure raises OUTBOX_WRITE.
  void publish(const CfxMessage& message);
  CfxEnvelope envelopeNow() const;

  ResultPublishing& publishing_;
  Show show_;
  Say say_;
  StationFaults faults_;
  int state_ = 0;  // 0: none told yet
  StationEvent::Clock::time_point since_{};
};

}  // namespace tarnwick
