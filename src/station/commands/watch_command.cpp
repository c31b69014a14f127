#include "station/commands/watch_command.h"

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "station/commands/identity_option.h"
#include "station/commands/station_environment.h"
#include "station/run/event_queue.h"
#include "station/run/run_setup.h"
#include "station/run/thread_start.h"
#include "station/run/worker.h"
#include "station/views/json_events.h"
#include "station/views/live_table.h"
#include "station/views/record_file.h"
#include "station/views/run_board.h"
#include "station/views/state_colour.h"
#include "station/views/summary.h"
#include "station/views/watch_table.h"
#include "station/watch/slots_file.h"
#include "station/watch/verify_worker.h"
#include "station/watch/watch_tracker.h"

namespace tarnwick {
namespace {

using Clock = StationEvent::Clock;

constexpr auto kListInterval = std::chrono::milliseconds(500);
constexpr int kEventWaitMs = 50;

std::chrono::milliseconds millisecondsOf(double seconds) {
  return std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0));
}

// One modem cycle's work: its flash worker, then maybe its check.
struct CycleWork {
  FlashTarget target;
  WorkerShared shared;
  VerifyJob verify;
  std::thread thread;  // the flash, then the check
  bool busy = false;
  ModemRecord record;  // the flash's, completed by the check
};

class WatchCommand {
 public:
  WatchCommand(const WatchOptions& options, StationEnvironment& environment)
      : options_(options),
        env_(environment),
        human_(options.json ? env_.err : env_.out),
        tracker_(millisecondsOf(options.verifyTimeoutSeconds)),
        board_({}, 0) {}

  int run() {
    if (!prepare()) return kExitBadInvocation;
    Clock::time_point nextList = Clock::now();
    while (!env_.stopRequested()) {
      if (Clock::now() >= nextList) {
        takeDeviceList();
        nextList = Clock::now() + kListInterval;
      }
      takeEvents();
      tick();
    }
    return finish();
  }

 private:
  bool prepare() {
    std::string why;
    if (!chosenIdentities(options_.ids, ids_, why)) return usage(why);
    if (!image_.open(options_.image, why)) {
      return usage("image " + options_.image + " cannot be used: " + why);
    }
    if (!options_.slots.empty() && !readSlotsFile(options_.slots, slots_, why)) {
      return usage("slots file " + options_.slots + " " + why);
    }
    if (!options_.record.empty() && !records_.open(options_.record, why)) {
      return usage("record file " + options_.record + " cannot be opened: " + why);
    }
    records_.tellTo(env_.err);
    base_ = recordBaseFor(image_, env_.toolVersion);
    base_.watchCycle = true;
    std::unique_ptr<RunView> human = humanViewFor(options_.progress, human_, colour_, [this] {
      auto table = std::make_unique<LiveTable>(human_, watchTableRenderer(slots_, Clock::now()));
      table->useColour(colour_);
      return table;
    });
    if (human) views_.push_back(std::move(human));
    if (options_.json) {
      auto json = std::make_unique<JsonEvents>(env_.out);
      json_ = json.get();
      json_->emit("run-start", runStartJson(base_));
      views_.push_back(std::move(json));
    }
    return true;
  }

  bool usage(const std::string& text) {
    say(env_.err, "tarnwick-station: " + text + "\n");
    return false;
  }

  void takeDeviceList() {
    std::vector<FlashTarget> present;
    std::string why;
    if (!env_.listModems(ids_, present, why)) {
      if (!listFailed_) say(env_.err, "tarnwick-station: " + why + "\n");
      listFailed_ = true;
      return;
    }
    listFailed_ = false;
    tellWhetherWaiting(present.empty());
    for (const WatchTracker::Action& action : tracker_.update(present, Clock::now())) {
      act(action);
    }
  }

  // While no modem is present the views say what the station waits for:
  // from the start, and again each time the last modem has gone.
  void tellWhetherWaiting(bool nonePresent) {
    if (waitingTold_ && nonePresent == *waitingTold_) return;
    waitingTold_ = nonePresent;
    StationEvent waiting;
    waiting.kind = EventKind::Waiting;
    if (nonePresent) waiting.text = waitingLine();
    show(waiting);
  }

  // "watching for 2c7c:0125, 12d1:1506; slots line1.json; Ctrl-C ends"
  std::string waitingLine() const {
    std::string ids;
    for (const DeviceIdentity& id : ids_) {
      ids += (ids.empty() ? "" : ", ") + id.vendorId + ":" + id.productId;
    }
    const std::string slots = options_.slots.empty() ? "no slots file" : "slots " + options_.slots;
    return "watching for " + ids + "; " + slots + "; Ctrl-C ends";
  }

  void act(const WatchTracker::Action& action) {
    using Kind = WatchTracker::Action::Kind;
    switch (action.kind) {
      case Kind::Flash:
        startFlash(action.cycle, action.target);
        break;
      case Kind::Gone:
        show(kindEvent(EventKind::Gone, action.cycle));
        break;
      case Kind::Back:
        startVerify(action.cycle, action.target);
        break;
      case Kind::Expired:
        endUnverified(action.cycle, "not re-plugged within the verify timeout");
        break;
      case Kind::Duplicate:
        work_[action.cycle]->record.duplicate = true;
        board_.markDuplicate(action.cycle);
        break;
    }
  }

  void startFlash(std::size_t cycle, const FlashTarget& target) {
    board_.addRow(target, image_.size());  // row `cycle`: rows and cycles are counted alike
    auto work = std::make_unique<CycleWork>();
    work->target = target;
    work->shared.recordBase = base_;
    work->shared.recordBase.slot = slotLabelAt(slots_, target.location);
    work->shared.recordBase.attempt = tracker_.attempt(cycle);
    work->shared.recordBase.duplicate = tracker_.duplicate(cycle);
    work->shared.recordBase.cycle = cycle;
    work->shared.image = &image_;
    work->shared.makePort = env_.makePort;
    work->shared.portPresent = portPresence(target);
    work->shared.currentPorts = currentPorts(target);
    work->shared.stop = &stop_;
    work->shared.settleMs = static_cast<int>(millisecondsOf(options_.settleSeconds).count());
    if (!options_.force) work->shared.skipVersion = options_.expectVersion;
    work->record = work->shared.recordBase;
    work_.push_back(std::move(work));
    StationEvent found = kindEvent(EventKind::Found, cycle);
    found.target = target;
    show(found);
    CycleWork& started = *work_.back();
    started.busy = true;
    std::string why;
    const auto flash = [this, &started, cycle] {
      Worker(started.target, cycle, started.shared, events_).run();
    };
    if (!startThread(systemThread, started.thread, flash, why)) {
      // Its FAIL record comes through the queue like any flash's end.
      Worker(started.target, cycle, started.shared, events_)
          .fail("no worker thread could be started: " + why);
    }
  }

  // Whether the cycle's modem still shows `comNumber`, asked afresh.
  std::function<bool(int)> portPresence(const FlashTarget& target) {
    auto list = env_.listModems;
    std::vector<DeviceIdentity> ids = ids_;
    const std::string location = target.location;
    return [list, ids, location](int comNumber) {
      std::vector<FlashTarget> now;
      std::string why;
      if (!list(ids, now, why)) return true;  // cannot tell: not called vanished
      for (const FlashTarget& modem : now) {
        for (const FlashTarget::Port& port : modem.ports) {
          if (modem.location == location && port.comNumber == comNumber) return true;
        }
      }
      return false;
    };
  }

  // The ports the modem at the target's location, with its serial, shows
  // now, asked afresh; false when the list cannot be read or lacks it.
  std::function<bool(std::vector<FlashTarget::Port>&)> currentPorts(const FlashTarget& target) {
    auto list = env_.listModems;
    std::vector<DeviceIdentity> ids = ids_;
    const std::string location = target.location;
    const std::string serial = target.serial;
    return [list, ids, location, serial](std::vector<FlashTarget::Port>& ports) {
      std::vector<FlashTarget> now;
      std::string why;
      if (!list(ids, now, why)) return false;
      for (const FlashTarget& modem : now) {
        if (modem.location != location || modem.serial != serial) continue;
        ports = modem.ports;
        return true;
      }
      return false;
    };
  }

  void startVerify(std::size_t cycle, const FlashTarget& target) {
    CycleWork& work = *work_[cycle];
    StationEvent back = kindEvent(EventKind::Back, cycle);
    back.target = target;
    show(back);
    if (work.thread.joinable()) work.thread.join();
    work.verify.target = target;
    work.verify.cycle = cycle;
    work.verify.settleMs = work.shared.settleMs;
    work.verify.currentPorts = currentPorts(target);
    work.verify.makePort = env_.makePort;
    work.verify.stop = &stop_;
    work.busy = true;
    std::string why;
    if (!startThread(
            systemThread, work.thread, [this, &work] { runVerify(work.verify, events_); }, why)) {
      StationEvent end = kindEvent(EventKind::VerifyEnd, cycle);
      end.text = "no thread could be started to check the version: " + why;
      events_.put(std::move(end));
    }
  }

  void takeEvents() {
    StationEvent event;
    if (!events_.take(event, kEventWaitMs)) return;
    do {
      if (event.kind == EventKind::VerifyEnd) {
        verified(event);
        continue;
      }
      if (event.kind == EventKind::ModemEnd) keepFlashRecord(event);
      show(event);
      if (event.kind == EventKind::ModemEnd) flashEnded(event);
    } while (events_.take(event, 0));
  }

  // The flash's record is on disk as soon as the flash ends (a unit that
  // passed leaves its trace even if the station dies before the re-plug),
  // and before the event that tells whether it was written.
  void keepFlashRecord(StationEvent& event) {
    CycleWork& work = *work_[event.modem];
    const bool duplicate = work.record.duplicate;
    work.record = event.record;
    work.record.duplicate = work.record.duplicate || duplicate || tracker_.duplicate(event.modem);
    event.recordWritten = writeRecord(work.record);
  }

  bool writeRecord(const ModemRecord& record) {
    if (options_.record.empty() || records_.write(record)) return true;
    recordsFailed_ = true;
    return false;
  }

  void flashEnded(const StationEvent& event) {
    CycleWork& work = *work_[event.modem];
    if (work.thread.joinable()) work.thread.join();
    work.busy = false;
    const bool passed = event.record.result == FlashResult::Pass;
    tracker_.flashEnded(event.modem, passed, Clock::now(), event.record.imei);
    if (passed) {
      show(kindEvent(EventKind::Replug, event.modem));
    } else {
      endCycle(event.modem);
    }
  }

  void verified(const StationEvent& event) {
    CycleWork& work = *work_[event.modem];
    if (work.thread.joinable()) work.thread.join();
    work.busy = false;
    if (!event.answered) {
      tracker_.verifyEnded(event.modem);
      work.record.verified = Verification::Unverified;
      work.record.log += "after the re-plug: " + event.text + "\n";
      endCycle(event.modem);
      return;
    }
    using Kind = WatchTracker::Return::Kind;
    const WatchTracker::Return unit =
        tracker_.checked(event.modem, event.imei, flashTook(work.record, event.text));
    if (unit.kind != Kind::ThisUnit) show(kindEvent(EventKind::NotBack, event.modem));
    if (unit.kind == Kind::NewUnit) {
      startFlash(unit.cycle, work.verify.target);
      return;
    }
    if (unit.kind == Kind::OtherCycle) {
      StationEvent back = kindEvent(EventKind::Back, unit.cycle);
      back.target = work.verify.target;
      show(back);
    }
    recordCheck(work_[unit.cycle]->record, event);
    endCycle(unit.cycle);
  }

  // Whether `version`, asked after the re-plug, is what the flash gives.
  bool flashTook(const ModemRecord& record, const std::string& version) const {
    return options_.expectVersion.empty() ? version != record.versionBefore
                                          : version == options_.expectVersion;
  }

  void recordCheck(ModemRecord& record, const StationEvent& event) const {
    record.hasVersionAfter = true;
    record.versionAfter = event.text;
    if (record.imei.empty()) record.imei = event.imei;
    record.verified =
        flashTook(record, event.text) ? Verification::Verified : Verification::Mismatch;
    record.log +=
        "after the re-plug on COM" + std::to_string(event.port) + ": version " + event.text + "\n";
  }

  void endUnverified(std::size_t cycle, const std::string& why) {
    ModemRecord& record = work_[cycle]->record;
    record.verified = Verification::Unverified;
    record.log += why + "\n";
    endCycle(cycle);
  }

  // The cycle's record is final: shown and counted; after a PASS its check
  // ended, and the record is written again with what the check found
  // (readers take a cycle's last record).
  void endCycle(std::size_t cycle) {
    ModemRecord& record = work_[cycle]->record;
    record.duplicate = record.duplicate || tracker_.duplicate(cycle);
    StationEvent end = kindEvent(EventKind::CycleEnd, cycle);
    if (record.result == FlashResult::Pass) end.recordWritten = writeRecord(record);
    const bool failed = record.result == FlashResult::Fail ||
                        record.result == FlashResult::Aborted ||
                        record.verified == Verification::Mismatch;
    if (failed) anyFailed_ = true;
    end.record = record;
    show(end);
  }

  static StationEvent kindEvent(EventKind kind, std::size_t cycle) {
    StationEvent event;
    event.kind = kind;
    event.modem = cycle;
    return event;
  }

  void show(const StationEvent& event) {
    board_.apply(event);
    for (const auto& view : views_) view->onEvent(event, board_);
  }

  void tick() {
    const Clock::time_point now = Clock::now();
    for (const auto& view : views_) view->tick(board_, now);
  }

  // Ctrl-C: every flash and check ends after its transaction under way;
  // cycles still waiting for the re-plug end UNVERIFIED.
  int finish() {
    stop_.store(true);
    while (anyBusy()) takeEvents();
    for (std::size_t cycle : tracker_.waitingCycles()) {
      tracker_.verifyEnded(cycle);
      endUnverified(cycle, "the run ended before the re-plug");
    }
    for (const auto& work : work_) {
      if (work->thread.joinable()) work->thread.join();
    }
    for (const auto& view : views_) view->finish(board_);
    if (options_.progress != ProgressMode::None)
      say(human_, "\n" + summaryTable(board_, TableLook{tableWidthFor(human_), colour_}));
    int status = anyFailed_ ? kExitFailed : kExitDone;
    if (recordsFailed_) {
      say(env_.err, "tarnwick-station: a record could not be written to " + options_.record + "\n");
      status = kExitFailed;
    }
    if (json_ != nullptr) json_->emit("run-end", runEndJson(status));
    return status;
  }

  bool anyBusy() const {
    for (const auto& work : work_) {
      if (work->busy) return true;
    }
    return false;
  }

  OrderedJson runEndJson(int status) const {
    OrderedJson end;
    end["run"] = base_.run;
    end["cycles"] = board_.rows().size();
    end["pass"] = board_.count(FlashResult::Pass);
    end["fail"] = board_.count(FlashResult::Fail);
    end["aborted"] = board_.count(FlashResult::Aborted);
    end["skipped"] = board_.count(FlashResult::Skipped);
    end["verified"] = board_.count(Verification::Verified);
    end["mismatch"] = board_.count(Verification::Mismatch);
    end["unverified"] = board_.count(Verification::Unverified);
    end["exit_status"] = status;
    if (board_.recordsLost() > 0) end["record_written"] = false;
    return end;
  }

  const WatchOptions& options_;
  StationEnvironment& env_;
  std::FILE* human_;
  const bool colour_ = colourWantedOn(options_.color, human_);
  std::vector<DeviceIdentity> ids_;
  std::optional<bool> waitingTold_;  // whether the views were last told none is present
  ImageSource image_;
  std::vector<Slot> slots_;
  RecordFile records_;
  ModemRecord base_;
  WatchTracker tracker_;
  RunBoard board_;
  EventQueue events_;
  std::atomic<bool> stop_{false};
  std::vector<std::unique_ptr<CycleWork>> work_;
  std::vector<std::unique_ptr<RunView>> views_;
  JsonEvents* json_ = nullptr;
  bool listFailed_ = false;
  bool anyFailed_ = false;
  bool recordsFailed_ = false;
};

}  // namespace

int runWatchCommand(const WatchOptions& options, StationEnvironment& environment) {
  const int status = WatchCommand(options, environment).run();
  return statusAfterOutput(status, environment.out, environment.err);
}

void registerWatchCommand(CLI::App& app, StationContext& context, ChosenCommand& chosen) {
  auto options = std::make_shared<WatchOptions>();
  CLI::App* watch = addWatchOptions(app, *options);
  watch->callback([options, &context, &chosen] {
    chosen.run = [options, &context] {
      return runStoppable(context, [&options](StationEnvironment& environment) {
        return runWatchCommand(*options, environment);
      });
    };
  });
}

}  // namespace tarnwick
