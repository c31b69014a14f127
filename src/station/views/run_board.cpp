#include "station/views/run_board.h"

#include <algorithm>

namespace tarnwick {

RunBoard::RunBoard(const std::vector<FlashTarget>& targets, std::uint64_t imageSize) {
  for (const FlashTarget& target : targets) addRow(target, imageSize);
}

std::size_t RunBoard::addRow(const FlashTarget& target, std::uint64_t imageSize) {
  BoardRow row;
  row.location = target.location;
  row.serial = target.serial;
  row.port = target.ports.empty() ? 0 : target.ports.front().comNumber;
  row.imageSize = imageSize;
  rows_.push_back(row);
  return rows_.size() - 1;
}

void RunBoard::apply(const StationEvent& event) {
  if (event.kind == EventKind::Waiting) {
    waitingLine_ = event.text;
    return;
  }
  if (event.kind == EventKind::FaultRaised || event.kind == EventKind::FaultCleared) {
    noteFault(event);
    return;
  }
  if (event.kind == EventKind::StateChanged) return;
  if (event.modem >= rows_.size()) return;
  BoardRow& row = rows_[event.modem];
  if (!event.recordWritten) ++recordsLost_;
  switch (event.kind) {
    case EventKind::ModemStart:
      row.state = "starting";
      break;
    case EventKind::Stage:
      row.state = stageName(event.stage);
      if (event.stage == Stage::Download) {
        row.downloading = true;
        row.downloadSince = event.at;
      }
      break;
    case EventKind::Version:
      row.version = event.text;
      break;
    case EventKind::Port:
      row.port = event.port;
      break;
    case EventKind::Progress: {
      row.bytesSent = event.bytesSent;
      row.imageSize = event.imageSize;
      const double seconds = std::chrono::duration<double>(event.at - row.downloadSince).count();
      if (row.downloading && seconds > 0) {
        row.kibPerS = row.bytesSent / 1024.0 / seconds;
        const double bytesPerSecond = row.bytesSent / seconds;
        row.etaSeconds = bytesPerSecond > 0 ? (row.imageSize - row.bytesSent) / bytesPerSecond : -1;
      }
      break;
    }
    case EventKind::ModemEnd:
      row.ended = true;
      row.mesWait.clear();
      row.record = event.record;
      row.state = resultName(event.record.result);
      row.port = event.record.port;
      row.version = event.record.versionBefore;
      row.bytesSent = event.record.bytesSent;
      row.etaSeconds = 0;
      row.downloading = false;
      row.cycleEnded = !event.record.watchCycle || event.record.result != FlashResult::Pass;
      row.cycleEndedAt = event.at;
      if (event.record.watchCycle && event.record.result == FlashResult::Pass) row.state = "PASS";
      break;
    case EventKind::Replug:
      row.state = "PASS, re-plug now";
      break;
    case EventKind::Gone:
      if (!row.ended) break;  // the worker's own verdict will come
      row.state = row.cycleEnded ? row.state : "PASS, unplugged";
      break;
    case EventKind::Back:
      row.state = "verifying";
      break;
    case EventKind::NotBack:
      row.state = "PASS, unplugged";
      break;
    case EventKind::CycleEnd:
      row.record = event.record;
      row.cycleEnded = true;
      row.cycleEndedAt = event.at;
      row.duplicate = row.duplicate || event.record.duplicate;
      if (event.record.verified != Verification::None) {
        row.state = verificationName(event.record.verified);
      }
      break;
    case EventKind::MesWait:
      row.mesWait = event.text;
      if (!event.text.empty()) row.state = "waiting for the MES";
      break;
    case EventKind::Found:
    case EventKind::VerifyEnd:
    case EventKind::Waiting:
    case EventKind::UnitKnown:
    case EventKind::FaultRaised:
    case EventKind::FaultCleared:
    case EventKind::StateChanged:
      break;
  }
}

// The active station faults, in the order they began.
void RunBoard::noteFault(const StationEvent& event) {
  const auto same = [&event](const StationFault& fault) {
    return fault.code == event.fault.code && fault.slot == event.fault.slot;
  };
  faults_.erase(std::remove_if(faults_.begin(), faults_.end(), same), faults_.end());
  if (event.kind == EventKind::FaultRaised) faults_.push_back(event.fault);
}

bool RunBoard::slotFaulty(const std::string& slot, const std::string& location) const {
  return std::any_of(faults_.begin(), faults_.end(), [&](const StationFault& fault) {
    return !fault.slot.empty() && (fault.slot == slot || fault.slot == location);
  });
}

int RunBoard::percent(const BoardRow& row) const {
  if (row.imageSize == 0) return row.ended && row.record.result == FlashResult::Pass ? 100 : 0;
  return static_cast<int>(row.bytesSent * 100 / row.imageSize);
}

std::size_t RunBoard::endedCount() const {
  std::size_t ended = 0;
  for (const BoardRow& row : rows_) ended += row.ended ? 1 : 0;
  return ended;
}

std::size_t RunBoard::count(Verification verification) const {
  std::size_t matching = 0;
  for (const BoardRow& row : rows_) {
    matching += row.cycleEnded && row.record.verified == verification ? 1 : 0;
  }
  return matching;
}

std::size_t RunBoard::count(FlashResult result) const {
  std::size_t matching = 0;
  for (const BoardRow& row : rows_) matching += row.ended && row.record.result == result ? 1 : 0;
  return matching;
}

}  // namespace tarnwick
