#include "station/run/station_messages.h"

#include "platform/random_uuid.h"
#include "station/cfx/cfx_resource.h"
#include "station/run/result_message.h"
#include "text/iso_time.h"

namespace tarnwick {
namespace {

// The state before the run: not known (NST, the CFX SDK's default).
constexpr int kStateBeforeRun = 6000;
const char kRecordWrite[] = "RECORD_WRITE";
const char kOutboxWrite[] = "OUTBOX_WRITE";

std::string isoNow() {
  return isoTimeUtc(std::chrono::system_clock::now());
}

}  // namespace

CfxEnvelope StationMessages::envelopeNow() const {
  return cfxEnvelopeFrom(publishing_.handle(), cfxTime(isoNow()));
}

void StationMessages::state(int state, StationEvent::Clock::time_point now) {
  if (state == state_) return;
  StationEvent event;
  event.kind = EventKind::StateChanged;
  event.state.oldState = state_ == 0 ? kStateBeforeRun : state_;
  event.state.newState = state;
  if (state_ != 0) {
    event.state.oldStateMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - since_).count();
  }
  state_ = state;
  since_ = now;
  show_(event);
  if (!publishing_.active()) return;
  CfxStateChange change{event.state.oldState, event.state.oldStateMs, state};
  CfxMessage message;
  if (stationStateChangedMessage(envelopeNow(), change, randomUuid, message)) publish(message);
}

void StationMessages::raise(StationFault fault) {
  if (faults_.isActive(fault.code, fault.slot)) return;
  fault.occurrenceId = randomUuid();
  fault.occurredAt = isoNow();
  if (!faults_.raise(fault)) return;
  StationEvent event;
  event.kind = EventKind::FaultRaised;
  event.fault = fault;
  show_(event);
  if (!publishing_.active()) return;
  CfxMessage message;
  if (!faultOccurredMessage(envelopeNow(), cfxFaultOf(fault), randomUuid, message)) return;
  // The outbox's own fault cannot wait in the outbox.
  if (fault.code == kOutboxWrite) {
    publishing_.sendDirect(message);
  } else {
    publish(message);
  }
}

void StationMessages::clear(const std::string& code, const std::string& slot) {
  StationFault cleared;
  if (!faults_.clear(code, slot, cleared)) return;
  StationEvent event;
  event.kind = EventKind::FaultCleared;
  event.fault = cleared;
  show_(event);
  if (!publishing_.active()) return;
  CfxMessage message;
  if (faultClearedMessage(envelopeNow(), cleared.occurrenceId, randomUuid, message)) {
    publish(message);
  }
}

void StationMessages::recordWritten(bool written, const std::string& file) {
  if (written) return clear(kRecordWrite, "");
  StationFault fault;
  fault.code = kRecordWrite;
  fault.severity = FaultSeverity::Error;
  fault.cause = "SoftwareFailure";
  fault.description = "records cannot be written to " + file + ": check its disk";
  raise(fault);
}

void StationMessages::outboxPut(bool put, const std::string& folder, const std::string& why) {
  if (put) return clear(kOutboxWrite, "");
  StationFault fault;
  fault.code = kOutboxWrite;
  fault.severity = FaultSeverity::Error;
  fault.cause = "SoftwareFailure";
  fault.description = "results cannot be put in the outbox " + folder + ": " + why;
  raise(fault);
}

void StationMessages::publish(const CfxMessage& message) {
  std::string why;
  const bool put = publishing_.putMessage(message, why);
  if (!put)
    say_("a " + message.messageName + " could not be put in the outbox " + publishing_.folder() +
         ": " + why);
  outboxPut(put, publishing_.folder(), why);
}

}  // namespace tarnwick
