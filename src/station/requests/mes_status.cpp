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

nlohmann::json mesFaults(const MesStatus::View& view) {
  nlohmann::json faults = nlohmann::json::array();
  if (view.reachable) return faults;
  nlohmann::ordered_json fault;
  fault["TransactionID"] = nullptr;
  fault["Cause"] = "ServicesFailure";
  fault["Severity"] = "Warning";
  fault["FaultCode"] = "MES_UNREACHABLE";
  fault["FaultOccurrenceId"] = view.faultOccurrenceId;
  fault["Lane"] = nullptr;
  fault["Stage"] = nullptr;
  fault["SideLocation"] = "Unknown";
  fault["AccessType"] = "Unknown";
  fault["Description"] =
      "the MES cannot be reached: " + view.lastError.substr(0, 900) + "; units wait for its answer";
  fault["DescriptionTranslations"] = nlohmann::json::object();
  fault["OccurredAt"] = view.unreachableSince;
  fault["DueDateTime"] = nullptr;
  faults.push_back(nlohmann::json::parse(fault.dump()));
  return faults;
}

}  // namespace tarnwick
