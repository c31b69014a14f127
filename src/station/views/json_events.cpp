#include "station/views/json_events.h"

#include <cmath>

#include "station/model/modem_json.h"
#include "text/iso_time.h"

namespace tarnwick {
namespace {

// A modem's progress is told at every 5 % and at least every 2 s.
constexpr int kProgressPercentStep = 5;
constexpr auto kProgressInterval = std::chrono::seconds(2);

}  // namespace

void JsonEvents::emit(const char* name, const OrderedJson& fields) {
  OrderedJson line;
  line["event"] = name;
  line["seq"] = ++seq_;
  line["time"] = isoTimeUtc(now_());
  for (const auto& field : fields.items()) line[field.key()] = field.value();
  const std::string text = jsonLine(line) + "\n";
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fflush(out_);
}

void JsonEvents::onEvent(const StationEvent& event, const RunBoard& board) {
  if (event.kind == EventKind::Waiting || event.kind == EventKind::UnitKnown) return;
  if (stationEvent(event)) return;
  const BoardRow& row = board.rows()[event.modem];
  OrderedJson fields;
  fields["modem"] = event.modem;
  fields["location"] = row.location;
  switch (event.kind) {
    case EventKind::ModemStart:
      fields["port"] = comPortJson(knownComNumber(row.port));
      emit("modem-start", fields);
      break;
    case EventKind::Progress:
      progress(event.modem, board, event.at);
      break;
    case EventKind::ModemEnd:
      fields["record"] = recordJson(event.record);
      if (!event.recordWritten) fields["record_written"] = false;
      emit("modem-end", fields);
      break;
    case EventKind::MesWait:
      fields["waiting"] = !event.text.empty();
      fields["reason"] = event.text;
      emit("mes-wait", fields);
      break;
    case EventKind::Found:
      emit("modem-found", targetJson(event.modem, event.target));
      break;
    case EventKind::Gone:
      fields["serial"] = textOrNull(row.serial);
      emit("modem-gone", fields);
      break;
    case EventKind::Back:
      fields["back_at"] = event.target.location;
      fields["serial"] = event.target.serial;
      emit("modem-back", fields);
      break;
    case EventKind::CycleEnd:
      if (event.record.verified == Verification::None) break;
      fields["verified"] = verificationName(event.record.verified);
      fields["version_before"] = event.record.versionBefore;
      fields["version_after"] =
          event.record.hasVersionAfter ? OrderedJson(event.record.versionAfter) : OrderedJson();
      fields["record"] = recordJson(event.record);
      if (!event.recordWritten) fields["record_written"] = false;
      emit("verify", fields);
      break;
    default:
      break;
  }
}

// `fault`, `fault-cleared` and `state`: the station's own, of no modem.
bool JsonEvents::stationEvent(const StationEvent& event) {
  OrderedJson fields;
  if (event.kind == EventKind::StateChanged) {
    fields["state"] = event.state.newState;
    fields["old_state"] = event.state.oldState;
    fields["old_state_ms"] =
        event.state.oldStateMs ? OrderedJson(*event.state.oldStateMs) : OrderedJson();
    emit("state", fields);
    return true;
  }
  if (event.kind != EventKind::FaultRaised && event.kind != EventKind::FaultCleared) return false;
  fields["code"] = event.fault.code;
  fields["severity"] = faultSeverityName(event.fault.severity);
  fields["slot"] = textOrNull(event.fault.slot);
  fields["description"] = event.fault.description;
  fields["occurrence_id"] = event.fault.occurrenceId;
  emit(event.kind == EventKind::FaultRaised ? "fault" : "fault-cleared", fields);
  return true;
}

void JsonEvents::tick(const RunBoard& board, StationEvent::Clock::time_point now) {
  for (std::size_t modem = 0; modem < board.rows().size(); ++modem) {
    const BoardRow& row = board.rows()[modem];
    if (row.downloading && !row.ended) progress(modem, board, now);
  }
}

void JsonEvents::progress(std::size_t modem, const RunBoard& board,
                          StationEvent::Clock::time_point now) {
  if (lastProgress_.size() < board.rows().size()) lastProgress_.resize(board.rows().size());
  LastProgress& last = lastProgress_[modem];
  const BoardRow& row = board.rows()[modem];
  const int percent = board.percent(row);
  const bool stepped =
      last.percent < 0 || percent / kProgressPercentStep != last.percent / kProgressPercentStep;
  if (!stepped && now - last.at < kProgressInterval) return;
  last.percent = percent;
  last.at = now;
  OrderedJson fields;
  fields["modem"] = modem;
  fields["location"] = row.location;
  fields["bytes_sent"] = row.bytesSent;
  fields["image_size"] = row.imageSize;
  fields["percent"] = percent;
  fields["kib_per_s"] = std::round(row.kibPerS * 10.0) / 10.0;
  emit("progress", fields);
}

}  // namespace tarnwick
