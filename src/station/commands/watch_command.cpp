#include "station/commands/watch_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

#include "station/commands/identity_option.h"
#include "station/commands/output_options.h"
#include "station/run/event_queue.h"
#include "station/run/image_source.h"
#include "station/run/mes_link.h"
#include "station/run/port_questions.h"
#include "station/run/run_output.h"
#include "station/run/run_setup.h"
#include "station/run/thread_start.h"
#include "station/run/worker.h"
#include "station/views/watch_table.h"
#include "station/watch/cycle_book.h"
#include "station/watch/replug_verdict.h"
#include "station/watch/slot_fail_rule.h"
#include "station/watch/slots_file.h"
#include "station/watch/station_state.h"
#include "station/watch/verify_worker.h"
#include "station/watch/watch_tracker.h"

namespace tarnwick {
namespace {

using Clock = StationEvent::Clock;

constexpr auto kListInterval = std::chrono::milliseconds(500);
constexpr int kEventWaitMs = 50;
// With --publish, a CFX.Heartbeat this often while the watch runs.
constexpr int kHeartbeatSeconds = 60;
const char kSlotFailing[] = "SLOT_FAILING";

std::chrono::milliseconds millisecondsOf(double seconds) {
  return std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0));
}

RunOutputSettings outputSettings(const WatchOptions& options, const StationEnvironment& env) {
  RunOutputSettings settings = runOutputSettings(options.progress, options.color, options.json,
                                                 options.record, options.publish, env.out, env.err);
  settings.publish.heartbeatSeconds = kHeartbeatSeconds;
  settings.publish.command = "tarnwick-station watch";
  settings.publish.expectVersion = options.expectVersion;
  settings.stationMessages = true;
  return settings;
}

// The watch run's poll loop: takes the device list twice a second and acts
// on what the tracker decides, takes the workers' events and shows them,
// and at Ctrl-C lets every cycle end.
class WatchCommand {
 public:
  WatchCommand(const WatchOptions& options, StationEnvironment& environment)
      : options_(options),
        env_(environment),
        output_(outputSettings(options, environment)),
        tracker_(millisecondsOf(options.verifyTimeoutSeconds)),
        slotRule_(options.slotFailLimit) {}

  int run() {
    if (!prepare()) return kExitBadInvocation;
    Clock::time_point nextList = Clock::now();
    while (!env_.stopRequested()) {
      if (Clock::now() >= nextList) {
        takeDeviceList();
        nextList = Clock::now() + kListInterval;
      }
      takeEvents();
      tellMesNews();
      tellState();
      output_.tick();
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
    base_ = recordBaseFor(image_, env_.toolVersion);
    base_.watchCycle = true;
    output_.setRecipe(base_);
    if (!startMes(why) || !output_.openRecords(why) || !output_.startPublishing(why)) {
      return usage(why);
    }
    output_.showProgress(watchTableRenderer(slots_, Clock::now()));
    output_.runStart(base_);
    tellState();
    return true;
  }

  // --validate and --cfx-listen: a unit the MES does not answer for waits
  // and asks again.
  bool startMes(std::string& why) {
    MesLinkSettings settings =
        mesLinkSettings(options_.mes, options_.publish.handle, env_.toolVersion);
    settings.waitForAnswer = true;
    settings.activeFaults = [this] { return output_.activeCfxFaults(); };
    const bool started = startMesLink(mes_, settings, image_, env_.err, why);
    output_.setRequestUri(mes_.requestUri());
    return started;
  }

  // Whether the MES can be reached is said on `err` each time it changes,
  // and is a station fault (MES_UNREACHABLE) while it cannot.
  void tellMesNews() {
    const std::string news = mes_.news();
    if (news.empty()) return;
    say(env_.err, "tarnwick-station: " + news + "\n");
    const MesStatus::View mes = mes_.status();
    if (mes.reachable) {
      output_.station().clear(kMesUnreachable, "");
      return;
    }
    StationFault fault;
    fault.code = kMesUnreachable;
    fault.severity = FaultSeverity::Warning;
    fault.cause = "ServicesFailure";
    fault.description = mesUnreachableText(mes);
    output_.station().raise(fault);
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
    output_.show(waiting);
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
        cycles_[action.cycle].gone = true;
        output_.show(kindEvent(EventKind::Gone, action.cycle));
        break;
      case Kind::Back:
        startVerify(action.cycle, action.target);
        break;
      case Kind::Expired:
        endUnverified(action.cycle, "not re-plugged within the verify timeout");
        break;
      case Kind::Duplicate:
        cycles_[action.cycle].record.duplicate = true;
        output_.board().markDuplicate(action.cycle);
        break;
    }
  }

  void startFlash(std::size_t cycle, const FlashTarget& target) {
    output_.board().addRow(target,
                           image_.size());  // row `cycle`: rows and cycles are counted alike
    CycleWork& work = cycles_.add();
    work.target = target;
    work.shared.recordBase = base_;
    work.shared.recordBase.slot = slotLabelAt(slots_, target.location);
    work.shared.recordBase.slotIndex = slotIndexAt(slots_, target.location);
    work.shared.recordBase.attempt = tracker_.attempt(cycle);
    work.shared.recordBase.duplicate = tracker_.duplicate(cycle);
    work.shared.recordBase.cycle = cycle;
    work.shared.image = &image_;
    work.shared.makePort = env_.makePort;
    work.shared.portPresent = portPresence(env_.listModems, ids_, target.location);
    work.shared.currentPorts = currentPorts(env_.listModems, ids_, target.location, target.serial);
    work.shared.stop = &stop_;
    work.shared.mesGate = mes_.gate();
    work.shared.gone = &work.gone;
    work.shared.settleMs = static_cast<int>(millisecondsOf(options_.settleSeconds).count());
    if (!options_.force) work.shared.skipVersion = options_.expectVersion;
    work.record = work.shared.recordBase;
    StationEvent found = kindEvent(EventKind::Found, cycle);
    found.target = target;
    output_.show(found);
    work.busy = true;
    std::string why;
    const auto flash = [this, &work, cycle] {
      Worker(work.target, cycle, work.shared, events_).run();
    };
    if (!startThread(systemThread, work.thread, flash, why)) {
      // Its FAIL record comes through the queue like any flash's end.
      Worker(work.target, cycle, work.shared, events_)
          .fail("no worker thread could be started: " + why);
    }
  }

  void startVerify(std::size_t cycle, const FlashTarget& target) {
    StationEvent back = kindEvent(EventKind::Back, cycle);
    back.target = target;
    output_.show(back);
    cycles_.settle(cycle);
    CycleWork& work = cycles_[cycle];
    work.verify.target = target;
    work.verify.cycle = cycle;
    work.verify.settleMs = work.shared.settleMs;
    work.verify.currentPorts = currentPorts(env_.listModems, ids_, target.location, target.serial);
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
        checked(event);
        continue;
      }
      if (event.kind == EventKind::ModemEnd) keepFlashRecord(event);
      output_.show(event);
      if (event.kind == EventKind::ModemEnd) flashEnded(event);
    } while (events_.take(event, 0));
  }

  // The flash's record is on disk as soon as the flash ends (a unit that
  // passed leaves its trace even if the station dies before the re-plug),
  // and before the event that tells whether it was written.
  void keepFlashRecord(StationEvent& event) {
    CycleWork& work = cycles_[event.modem];
    const bool duplicate = work.record.duplicate;
    work.record = event.record;
    work.record.duplicate = work.record.duplicate || duplicate || tracker_.duplicate(event.modem);
    // A flash that did not pass ends its cycle: its result is final now.
    event.recordWritten =
        output_.keep(event.modem, work.record, work.record.result != FlashResult::Pass);
    event.record.messageId = work.record.messageId;
  }

  void flashEnded(const StationEvent& event) {
    cycles_.settle(event.modem);
    const bool passed = event.record.result == FlashResult::Pass;
    tracker_.flashEnded(event.modem, passed, Clock::now(), event.record.imei);
    if (passed) {
      output_.show(kindEvent(EventKind::Replug, event.modem));
    } else {
      endCycle(event.modem);
    }
  }

  // The check after the re-plug has ended: the unit that answered is this
  // cycle's, a new one (flashed as its own cycle), or another waiting
  // cycle's.
  void checked(const StationEvent& event) {
    cycles_.settle(event.modem);
    CycleWork& work = cycles_[event.modem];
    if (!event.answered) {
      tracker_.verifyEnded(event.modem);
      work.record.verified = Verification::Unverified;
      work.record.log += "after the re-plug: " + event.text + "\n";
      endCycle(event.modem);
      return;
    }
    using Kind = WatchTracker::Return::Kind;
    const bool shown = versionShowsAFlashedUnit(options_.expectVersion, event.text);
    const WatchTracker::Return unit = tracker_.checked(event.modem, event.imei, shown);
    if (unit.kind != Kind::ThisUnit) output_.show(kindEvent(EventKind::NotBack, event.modem));
    if (unit.kind == Kind::NewUnit) {
      startFlash(unit.cycle, work.verify.target);
      return;
    }
    if (unit.kind == Kind::OtherCycle) {
      StationEvent back = kindEvent(EventKind::Back, unit.cycle);
      back.target = work.verify.target;
      output_.show(back);
    }
    recordCheck(cycles_[unit.cycle].record, event);
    endCycle(unit.cycle);
  }

  void recordCheck(ModemRecord& record, const StationEvent& event) const {
    record.hasVersionAfter = true;
    record.versionAfter = event.text;
    if (record.imei.empty()) record.imei = event.imei;
    record.verified = replugVerdict(true, record.versionBefore, options_.expectVersion, event.text);
    record.log +=
        "after the re-plug on COM" + std::to_string(event.port) + ": version " + event.text + "\n";
  }

  void endUnverified(std::size_t cycle, const std::string& why) {
    ModemRecord& record = cycles_[cycle].record;
    record.verified = Verification::Unverified;
    record.log += why + "\n";
    endCycle(cycle);
  }

  // The cycle's record is final: shown and counted; after a PASS its check
  // ended, and the record is written again with what the check found
  // (readers take a cycle's last record).
  void endCycle(std::size_t cycle) {
    ModemRecord& record = cycles_[cycle].record;
    record.duplicate = record.duplicate || tracker_.duplicate(cycle);
    StationEvent end = kindEvent(EventKind::CycleEnd, cycle);
    if (record.result == FlashResult::Pass) end.recordWritten = output_.keep(cycle, record);
    const bool failed = record.result == FlashResult::Fail ||
                        record.result == FlashResult::Aborted ||
                        record.verified == Verification::Mismatch;
    if (failed) anyFailed_ = true;
    end.record = record;
    output_.show(end);
    judgeSlot(record);
  }

  // The station's state, told when it changed: the tracker knows which
  // units are being flashed or checked.
  void tellState() {
    StationActivity activity;
    // A unit waiting for the MES is in a flash cycle to the tracker, but no
    // work is done on it until the MES answers.
    const std::size_t cycles = tracker_.cyclesAtWork();
    activity.waitingForMes = std::min(mes_.status().unitsWaiting, cycles);
    activity.working = cycles - activity.waitingForMes;
    output_.station().state(stationState(activity), Clock::now());
  }

  // A slot that keeps failing is a fault of the station (a worn cable, a
  // bad hub port) until a unit passes there.
  void judgeSlot(const ModemRecord& record) {
    const std::string slot = record.slot.empty() ? record.location : record.slot;
    const bool failed =
        record.result == FlashResult::Fail || record.verified == Verification::Mismatch;
    const bool passed = record.result == FlashResult::Pass && !failed;
    const SlotOutcome outcome =
        failed ? SlotOutcome::Failed : (passed ? SlotOutcome::Passed : SlotOutcome::Neither);
    switch (slotRule_.observe(slot, outcome)) {
      case SlotFaultChange::None:
        break;
      case SlotFaultChange::Clear:
        output_.station().clear(kSlotFailing, slot);
        break;
      case SlotFaultChange::Raise:
        output_.station().raise(slotFault(record, slot));
        break;
    }
  }

  // "slot A3: the last 3 units failed (ERROR answer at packet 5 of 12): check its cable and hub"
  StationFault slotFault(const ModemRecord& record, const std::string& slot) const {
    std::string why = record.verified == Verification::Mismatch
                          ? "came back with " + (record.hasVersionAfter ? record.versionAfter : "-")
                          : record.reason;
    if (record.verified != Verification::Mismatch && !record.stage.empty()) {
      why += " at " + record.stage.substr(0, record.stage.find(" of "));  // "packet 5"
    }
    StationFault fault;
    fault.code = kSlotFailing;
    fault.slot = slot;
    fault.severity = FaultSeverity::Warning;
    fault.cause = "MechanicalFailure";
    fault.description = (record.slot.empty() ? "location " : "slot ") + slot + ": the last " +
                        std::to_string(slotRule_.failsInARow(slot)) + " units failed (" + why +
                        "): check its cable and hub";
    return fault;
  }

  static StationEvent kindEvent(EventKind kind, std::size_t cycle) {
    StationEvent event;
    event.kind = kind;
    event.modem = cycle;
    return event;
  }

  // Ctrl-C: every flash and check ends after its transaction under way;
  // cycles still waiting for the re-plug end UNVERIFIED.
  int finish() {
    stop_.store(true);
    while (cycles_.anyBusy()) takeEvents();
    for (std::size_t cycle : tracker_.waitingCycles()) {
      tracker_.verifyEnded(cycle);
      endUnverified(cycle, "the run ended before the re-plug");
    }
    cycles_.joinAll();
    tellState();
    output_.shutDown();
    output_.finishViews();
    output_.summary();
    return output_.end(anyFailed_ ? kExitFailed : kExitDone, counts());
  }

  // `run-end`'s counts.
  OrderedJson counts() {
    const RunBoard& board = output_.board();
    OrderedJson counts;
    counts["cycles"] = board.rows().size();
    counts["pass"] = board.count(FlashResult::Pass);
    counts["fail"] = board.count(FlashResult::Fail);
    counts["aborted"] = board.count(FlashResult::Aborted);
    counts["skipped"] = board.count(FlashResult::Skipped);
    if (mes_.gate() != nullptr) counts["refused"] = board.count(FlashResult::Refused);
    counts["verified"] = board.count(Verification::Verified);
    counts["mismatch"] = board.count(Verification::Mismatch);
    counts["unverified"] = board.count(Verification::Unverified);
    return counts;
  }

  const WatchOptions& options_;
  StationEnvironment& env_;
  RunOutput output_;
  std::vector<DeviceIdentity> ids_;
  std::optional<bool> waitingTold_;  // whether the views were last told none is present
  ImageSource image_;
  std::vector<Slot> slots_;
  ModemRecord base_;
  WatchTracker tracker_;
  EventQueue events_;
  std::atomic<bool> stop_{false};
  MesLink mes_;  // before the cycles: their workers may ask it until they are joined
  CycleBook cycles_;
  SlotFailRule slotRule_;
  bool listFailed_ = false;
  bool anyFailed_ = false;
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
