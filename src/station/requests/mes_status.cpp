#include "station/requests/mes_status.h"

#include <chrono>

#include "platform/random_uuid.h"
#include "text/iso_time.h"

namespace tarnwick {

void MesStatus::unitWaits(bool waits) {
  std::lock_guard<std::mutex> hold(lock_);
  if (waits) {
    ++view_.unitsWaiting;
  } else if (view_.unitsWaiting > 0) {
    --view_.unitsWaiting;
  }
}

void MesStatus::reached(bool reachable, const std::string& why) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!reachable) view_.lastError = why;
  if (reachable == view_.reachable) return;
  view_.reachable = reachable;
  view_.unreachableSince = reachable ? "" : isoTimeUtc(std::chrono::system_clock::now());
  view_.faultOccurrenceId = reachable ? "" : randomUuid();
}

MesStatus::View MesStatus::view() const {
  std::lock_guard<std::mutex> hold(lock_);
  return view_;
}

std::vector<CfxFault> mesFaults(const MesStatus::View& view) {
  if (view.reachable) return {};
  CfxFault fault;
  fault.cause = "ServicesFailure";
  fault.severity = "Warning";
  fault.code = kMesUnreachable;
  fault.occurrenceId = view.faultOccurrenceId;
  fault.description = mesUnreachableText(view);
  fault.occurredAt = view.unreachableSince;
  return {fault};
}

std::string mesUnreachableText(const MesStatus::View& view) {
  return "the MES cannot be reached: " + view.lastError.substr(0, 900) +
         "; units wait for its answer";
}

}  // namespace tarnwick
