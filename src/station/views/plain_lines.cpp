#include "station/views/plain_lines.h"

#include <string>

#include "text/printable_text.h"

namespace tarnwick {
namespace {

constexpr auto kHeartbeatInterval = std::chrono::seconds(10);

std::string modemLabel(const BoardRow& row) {
  return row.location + " COM" + std::to_string(row.port);
}

}  // namespace

// Device text (serials, versions, replies in reasons) is shown escaped.
void PlainLines::line(const std::string& text, Tone tone) {
  const std::string shown = printableText(text);
  const std::string withEnd = (colour_ ? painted(shown, tone) : shown) + "\n";
  std::fwrite(withEnd.data(), 1, withEnd.size(), out_);
  std::fflush(out_);
}

void PlainLines::onEvent(const StationEvent& event, const RunBoard& board) {
  if (event.kind == EventKind::Waiting) {
    if (!event.text.empty()) line(event.text);
    return;
  }
  if (event.kind == EventKind::FaultRaised) {
    line("! " + event.fault.description, toneOfFault(event.fault.severity));
    return;
  }
  if (event.kind == EventKind::FaultCleared) {
    line("cleared: " + event.fault.description);
    return;
  }
  if (event.kind == EventKind::StateChanged) return;
  const BoardRow& row = board.rows()[event.modem];
  switch (event.kind) {
    case EventKind::Stage:
      line(modemLabel(row) + ": " + stageName(event.stage));
      break;
    case EventKind::Version:
      line(modemLabel(row) + ": version " + (row.version.empty() ? "unknown" : row.version));
      break;
    case EventKind::ModemEnd: {
      const ModemRecord& record = event.record;
      std::string text = modemLabel(row) + ": " + resultName(record.result);
      if (record.result != FlashResult::Pass) text += " at " + record.stage + ": " + record.reason;
      line(text, toneOfState(resultName(record.result)));
      break;
    }
    case EventKind::MesWait:
      if (!event.text.empty()) line(modemLabel(row) + ": waiting for the MES: " + event.text);
      break;
    case EventKind::Found:
      line(event.target.location + ": plugged in" +
           (event.target.serial.empty() ? "" : ", serial " + event.target.serial));
      break;
    case EventKind::Replug:
      line(modemLabel(row) + ": please unplug and re-insert the modem", Tone::Operator);
      break;
    case EventKind::Gone:
      line(row.location + ": unplugged");
      break;
    case EventKind::Back:
      line(row.location + ": back at " + event.target.location + ", verifying");
      break;
    case EventKind::NotBack:
      line(row.location + ": that was another unit, still waiting for the re-plug");
      break;
    case EventKind::CycleEnd:
      if (event.record.verified == Verification::None) break;
      line(modemLabel(row) + ": " + verificationName(event.record.verified) + ", version " +
               (event.record.hasVersionAfter ? event.record.versionAfter : "unknown"),
           toneOfState(verificationName(event.record.verified)));
      break;
    default:
      break;
  }
}

void PlainLines::tick(const RunBoard& board, StationEvent::Clock::time_point now) {
  if (now - lastHeartbeat_ < kHeartbeatInterval) return;
  lastHeartbeat_ = now;
  std::string text = "progress:";
  for (const BoardRow& row : board.rows()) {
    text += " " + row.location + " " + std::to_string(board.percent(row)) + "%";
  }
  line(text);
}

}  // namespace tarnwick
