#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "station/model/flash_target.h"
#include "station/model/modem_json.h"
#include "station/model/modem_record.h"
#include "station/run/result_publishing.h"
#include "station/run/station_messages.h"
#include "station/views/json_events.h"
#include "station/views/live_table.h"
#include "station/views/output_modes.h"
#include "station/views/record_file.h"
#include "station/views/run_board.h"
#include "station/views/run_view.h"

namespace tarnwick {

// How a run is to be shown and kept.
struct RunOutputSettings {
  ProgressMode progress = ProgressMode::None;
  ColorMode color = ColorMode::Never;
  bool json = false;   // JSON events on `out`; the human view then goes to `err`
  std::string record;  // the record file; empty: none
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  PublishSettings publish;  // its url empty: nothing is published
  // Watch: the station's state and faults are shown, and with --publish
  // sent with its life (EndpointConnected, EndpointShuttingDown).
  bool stationMessages = false;
};

// Everything a run shows and keeps, set up and driven alike for `flash` and
// `watch`: the board, the human view (live table or plain lines), the JSON
// events, the record file, and at the end the summary and `run-end`. Used
// by the one thread that reads the run's events.
class RunOutput {
 public:
  explicit RunOutput(RunOutputSettings settings,
                     std::unique_ptr<RecordFile> records = std::make_unique<RecordFile>());

  // Opens the record file (when one is asked for); lost records are told on
  // `err` from then on. False with the line to say.
  bool openRecords(std::string& why);
  // With --publish: checks the URL, opens the outbox and starts sending
  // what waits there. False with the line to say.
  bool startPublishing(std::string& why);
  // The image the station flashes, as each heartbeat names its recipe
  // (before startPublishing).
  void setRecipe(const ModemRecord& base);
  // Where the station takes the MES's requests (before startPublishing).
  void setRequestUri(const std::string& uri) { settings_.publish.requestUri = uri; }
  // The station's active faults as CFX carries them.
  std::vector<CfxFault> activeCfxFaults() const;
  // JSON: the run's first event, from the fields every record shares.
  void runStart(const ModemRecord& base);
  // JSON: a modem the run is about to flash.
  void modemFound(std::size_t modem, const FlashTarget& target);
  // From now on the human view --progress asks for shows the run; a live
  // table's text is `table`'s.
  void showProgress(LiveTable::Renderer table = &LiveTable::render);
  // A further view of the run (tests).
  void addView(RunView& view) { views_.push_back(&view); }

  RunBoard& board() { return board_; }
  // Appends `record` of unit `unit` (the modem's or cycle's number) to the
  // record file (none: nothing to do); false, and counted, when it was
  // lost. With --publish the record first gets its unit's message id, and
  // when `final` (the unit's last record) the unit's result goes into the
  // outbox before the record is written; a unit the MES refused sends nothing.
  bool keep(std::size_t unit, ModemRecord& record, bool final = true);
  // The board takes `event`, then every view is told. With --publish a
  // unit that became known starts its work (CFX.Production.WorkStarted).
  void show(const StationEvent& event);
  // Watch: the station's state and faults.
  StationMessages& station() { return station_; }
  // Watch, at Ctrl-C: with --publish, CFX.EndpointShuttingDown.
  void shutDown();
  void tick();
  // Every modem has ended: the views draw their last.
  void finishViews();
  // The summary table of every modem, when a human view was asked for.
  void summary();
  // The run is over: one line on `err` when a record was lost, and
  // `run-end` with `counts` between its run id and its exit status. The
  // run's exit status: `status`, at least 1 when a record was lost.
  int end(int status, const OrderedJson& counts);

 private:
  RunOutputSettings settings_;
  std::FILE* human_;
  bool colour_;
  std::unique_ptr<RecordFile> records_;
  RunBoard board_{{}, 0};
  std::string run_;
  std::unique_ptr<JsonEvents> json_;
  std::unique_ptr<RunView> humanView_;
  std::vector<RunView*> views_;
  bool recordLost_ = false;
  // Before the publishing, so that it outlives the sender, whose heartbeat
  // reads its faults.
  StationMessages station_;
  ResultPublishing publishing_;
  bool resultLost_ = false;  // a result could not be put in the outbox

  void outboxPut(bool put, const std::string& why);

  void takePublishNews();
};

}  // namespace tarnwick
