#include "station/run/run_output.h"

#include "station/model/exit_status.h"
#include "station/run/result_message.h"
#include "station/run/run_setup.h"
#include "station/views/state_colour.h"
#include "station/views/summary.h"
#include "text/printable_text.h"

namespace tarnwick {

RunOutput::RunOutput(RunOutputSettings settings, std::unique_ptr<RecordFile> records)
    : settings_(std::move(settings)),
      human_(settings_.json ? settings_.err : settings_.out),
      colour_(colourWantedOn(settings_.color, human_)),
      records_(std::move(records)),
      station_(
          publishing_, [this](const StationEvent& event) { show(event); },
          [this](const std::string& line) {
            say(settings_.err, "tarnwick-station: " + line + "\n");
          }) {
  if (settings_.json) json_ = std::make_unique<JsonEvents>(settings_.out);
  if (!settings_.stationMessages) return;
  settings_.publish.endpointLife = true;
  settings_.publish.activeFaults = [this] { return activeCfxFaults(); };
}

std::vector<CfxFault> RunOutput::activeCfxFaults() const {
  std::vector<CfxFault> faults;
  for (const StationFault& fault : station_.faults().active()) faults.push_back(cfxFaultOf(fault));
  return faults;
}

void RunOutput::setRecipe(const ModemRecord& base) {
  const CfxUnitResult unit = unitResultOf(base, "", "", "");
  settings_.publish.recipeName = unit.imageName;
  settings_.publish.recipeRevision = unit.imageSha256;
}

bool RunOutput::openRecords(std::string& why) {
  if (!settings_.record.empty() && !records_->open(settings_.record, why)) {
    why = "record file " + settings_.record + " cannot be opened: " + why;
    return false;
  }
  records_->tellTo(settings_.err);
  return true;
}

void RunOutput::runStart(const ModemRecord& base) {
  run_ = base.run;
  if (json_) json_->emit("run-start", runStartJson(base));
}

void RunOutput::modemFound(std::size_t modem, const FlashTarget& target) {
  if (json_) json_->emit("modem-found", targetJson(modem, target));
}

void RunOutput::showProgress(LiveTable::Renderer table) {
  humanView_ = humanViewFor(settings_.progress, human_, colour_, [this, &table] {
    auto live = std::make_unique<LiveTable>(human_, std::move(table));
    live->useColour(colour_);
    return live;
  });
  if (humanView_) views_.insert(views_.begin(), humanView_.get());
  if (json_) views_.insert(views_.begin() + (humanView_ ? 1 : 0), json_.get());
}

// A file in the outbox that is no result is said once here, and counted
// on the board and in `run-end` from now on.
bool RunOutput::startPublishing(std::string& why) {
  if (settings_.publish.urls.empty()) return true;
  std::vector<std::string> warnings;
  const bool started = publishing_.start(settings_.publish, warnings, why);
  for (const std::string& warning : warnings)
    say(settings_.err, "tarnwick-station: " + warning + "\n");
  if (!started) return false;
  for (const std::string& file : publishing_.unreadable()) {
    say(settings_.err, "tarnwick-station: in the outbox " + publishing_.folder() + ": " +
                           printableText(file) + "; it is left there, not sent\n");
  }
  board_.setOutboxUnreadable(publishing_.unreadable().size());
  return true;
}

bool RunOutput::keep(std::size_t unit, ModemRecord& record, bool final) {
  // Nothing was done to a unit the MES refused: it has no work or result to send.
  if (publishing_.active() && record.result != FlashResult::Refused) {
    std::string why;
    const bool named = publishing_.name(record, why);
    if (!named || final) {
      const bool put = named && publishing_.put(unit, record, why);
      if (!put) {
        say(settings_.err, "tarnwick-station: the result of " + record.location + " (serial " +
                               (record.serial.empty() ? "none" : record.serial) +
                               ") could not be put in the outbox " + publishing_.folder() + ": " +
                               why + "\n");
        resultLost_ = true;
      }
      if (named) outboxPut(put, why);
    }
  }
  if (settings_.record.empty()) return true;
  const bool written = records_->write(record);
  if (settings_.stationMessages) station_.recordWritten(written, settings_.record);
  recordLost_ = recordLost_ || !written;
  return written;
}

void RunOutput::outboxPut(bool put, const std::string& why) {
  if (settings_.stationMessages) station_.outboxPut(put, publishing_.folder(), why);
}

void RunOutput::shutDown() {
  std::string why;
  const bool put = publishing_.shutDown(why);
  if (!put) {
    say(settings_.err,
        "tarnwick-station: CFX.EndpointShuttingDown could not be put in the outbox " +
            publishing_.folder() + ": " + why + "\n");
  }
}

void RunOutput::show(const StationEvent& event) {
  if (event.kind == EventKind::UnitKnown && publishing_.active()) {
    std::string why;
    const bool put = publishing_.workStarted(event.modem, event.record, why);
    if (!put) {
      say(settings_.err, "tarnwick-station: the work start of " + event.record.location +
                             " could not be put in the outbox " + publishing_.folder() + ": " +
                             why + "\n");
      resultLost_ = true;
    }
    outboxPut(put, why);
  }
  board_.apply(event);
  for (RunView* view : views_) view->onEvent(event, board_);
}

// The sender's news: the board shows what waits, and each result the
// broker refused is said on `err` and as an event.
void RunOutput::takePublishNews() {
  if (!publishing_.active()) return;
  const PublishNews news = publishing_.takeNews();
  if (news.stateChanged) board_.setOutbox(news.pending, news.oldest, news.broker);
  for (const std::string& why : news.blocked) {
    say(settings_.err, "tarnwick-station: " + printableText(why) + "\n");
    if (!json_) continue;
    OrderedJson fields;
    fields["error"] = why;
    json_->emit("results-blocked", fields);
  }
  for (const auto& [id, error] : news.rejected) {
    say(settings_.err, "tarnwick-station: the broker refused result " + id + ": " +
                           printableText(error) + "; it is kept in " + publishing_.folder() +
                           "/rejected\n");
    if (!json_) continue;
    OrderedJson fields;
    fields["unique_id"] = id;
    fields["error"] = error;
    json_->emit("result-rejected", fields);
  }
}

void RunOutput::tick() {
  takePublishNews();
  const auto now = StationEvent::Clock::now();
  for (RunView* view : views_) view->tick(board_, now);
}

void RunOutput::finishViews() {
  for (RunView* view : views_) view->finish(board_);
}

void RunOutput::summary() {
  if (settings_.progress == ProgressMode::None) return;
  say(human_, "\n" + summaryTable(board_, TableLook{tableWidthFor(human_), colour_}));
}

int RunOutput::end(int status, const OrderedJson& counts) {
  const bool publishing = publishing_.active();
  const std::size_t waiting = publishing_.finish();
  takePublishNews();
  if (waiting > 0) {
    say(settings_.err, "tarnwick-station: " + std::to_string(waiting) +
                           (waiting == 1 ? " message waits in " : " messages wait in ") +
                           publishing_.folder() + "; `tarnwick-station outbox --outbox " +
                           publishing_.folder() + " " + publishing_.sendLaterOptions() +
                           "` sends them\n");
  }
  if (resultLost_) status = kExitFailed;
  if (recordLost_) {
    say(settings_.err,
        "tarnwick-station: a record could not be written to " + settings_.record + "\n");
    status = kExitFailed;
  }
  if (!json_) return status;
  OrderedJson end;
  end["run"] = run_;
  for (const auto& field : counts.items()) end[field.key()] = field.value();
  if (publishing) {
    end["outbox_pending"] = waiting;
    end["outbox_unreadable"] = publishing_.unreadable().size();
    end["broker"] = publishing_.lastBroker();
  }
  end["exit_status"] = status;
  if (board_.recordsLost() > 0) end["record_written"] = false;
  json_->emit("run-end", end);
  return status;
}

}  // namespace tarnwick
