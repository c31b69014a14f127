#include "station/commands/flash_command.h"

#include <chrono>
#include <mutex>
#include <random>
#include <thread>

#include "discovery/inventory.h"
#include "platform/host_name.h"
#include "platform/stop_signals.h"
#include "platform/terminal.h"
#include "station/commands/identity_option.h"
#include "station/commands/station_environment.h"
#include "station/run/flash_run.h"
#include "station/run/port_choice.h"
#include "station/run/run_setup.h"
#include "station/views/json_events.h"
#include "station/views/live_table.h"
#include "station/views/plain_lines.h"
#include "station/views/record_file.h"
#include "station/views/state_colour.h"
#include "station/views/summary.h"
#include "text/iso_time.h"
#include "text/lower_case_text.h"

namespace tarnwick {
namespace {

constexpr int kExpectWaitMs = 10000;
constexpr int kExpectPollMs = 250;

class FlashCommand {
 public:
  FlashCommand(const FlashOptions& options, StationEnvironment& environment)
      : options_(options), env_(environment), human_(options.json ? env_.err : env_.out) {}

  int run() {
    std::vector<DeviceIdentity> ids;
    if (!identities(ids)) return kExitBadInvocation;
    std::string why;
    if (!image_.open(options_.image, why)) {
      return usage("image " + options_.image + " cannot be used: " + why);
    }
    if (!options_.record.empty() && !records_.open(options_.record, why)) {
      return usage("record file " + options_.record + " cannot be opened: " + why);
    }
    records_.tellTo(env_.err);
    std::vector<FlashTarget> present;
    if (!findModems(ids, present, why)) return usage(why);
    std::vector<FlashTarget> targets;
    if (!chooseTargets(present, targets, why)) return usage(why);
    recordBase();
    startJson(targets);
    if (targets.empty()) {
      say(env_.err, "tarnwick-station: no modem found\n");
      endJson(0, kExitBadInvocation, nullptr);
      return kExitBadInvocation;
    }
    RunBoard board(targets, image_.size());
    FlashRunOutcome outcome = flash(targets, present, board);
    if (options_.progress != ProgressMode::None)
      say(human_, "\n" + summaryTable(board, TableLook{tableWidthFor(human_), colour_}));
    int status = board.count(FlashResult::Pass) == targets.size() ? kExitDone : kExitFailed;
    if (countWrong(targets.size())) status = kExitFailed;
    if (!outcome.recordsWritten) {
      say(env_.err, "tarnwick-station: a record could not be written to " + options_.record + "\n");
      status = kExitFailed;
    }
    endJson(targets.size(), status, &board);
    return status;
  }

 private:
  int usage(const std::string& text) {
    say(env_.err, "tarnwick-station: " + text + "\n");
    return kExitBadInvocation;
  }

  bool identities(std::vector<DeviceIdentity>& ids) {
    std::string why;
    if (chosenIdentities(options_.ids, ids, why)) return true;
    usage(why);
    return false;
  }

  // With --expect, the list is taken again until that many modems are
  // there or 10 s have passed.
  bool findModems(const std::vector<DeviceIdentity>& ids, std::vector<FlashTarget>& present,
                  std::string& why) {
    for (int waited = 0;; waited += kExpectPollMs) {
      present.clear();
      if (!env_.listModems(ids, present, why)) return false;
      const std::size_t wanted = static_cast<std::size_t>(options_.expect);
      if (options_.expect == 0 || present.size() >= wanted || waited >= kExpectWaitMs ||
          env_.stopRequested()) {
        return true;
      }
      env_.sleepMs(kExpectPollMs);
    }
  }

  // Without --port every modem found, on the ports --interface leaves;
  // with it the modems owning those ports. False when the --port values
  // do not name distinct modems.
  bool chooseTargets(const std::vector<FlashTarget>& present, std::vector<FlashTarget>& targets,
                     std::string& why) {
    if (!options_.ports.empty()) return namedPorts(present, targets, why);
    for (FlashTarget target : present) {
      if (options_.interface >= 0) keepInterface(target);
      targets.push_back(target);
    }
    return true;
  }

  bool namedPorts(const std::vector<FlashTarget>& present, std::vector<FlashTarget>& targets,
                  std::string& why) {
    PortChoice choice;
    if (!modemsOnNamedPorts(present, options_.ports, choice, why)) return false;
    for (int port : choice.missing) {
      say(env_.err, "tarnwick-station: no modem found on COM" + std::to_string(port) + "\n");
    }
    missingPorts_ = !choice.missing.empty();
    targets = choice.targets;
    return true;
  }

  void keepInterface(FlashTarget& target) {
    std::vector<FlashTarget::Port> kept;
    for (const FlashTarget::Port& port : target.ports) {
      if (port.interfaceNumber == options_.interface) kept.push_back(port);
    }
    target.ports = kept;
    // Its record then says it had no serial port: the reason is told here.
    if (kept.empty()) {
      say(env_.err, "tarnwick-station: " + target.location + " has no port on interface " +
                        std::to_string(options_.interface) + "\n");
    }
  }

  // A wrong count fails the run even when every modem found passed, so it
  // is said why.
  bool countWrong(std::size_t found) {
    if (missingPorts_) return true;
    if (options_.expect == 0 || found == static_cast<std::size_t>(options_.expect)) return false;
    say(env_.err, "tarnwick-station: --expect " + std::to_string(options_.expect) + " but " +
                      std::to_string(found) + (found == 1 ? " modem was" : " modems were") +
                      " found\n");
    return true;
  }

  void recordBase() { base_ = recordBaseFor(image_, env_.toolVersion); }

  FlashRunOutcome flash(const std::vector<FlashTarget>& targets,
                        const std::vector<FlashTarget>& present, RunBoard& board) {
    FlashRunSetup setup;
    setup.targets = targets;
    setup.jobs = options_.jobs;
    setup.shared.recordBase = base_;
    setup.shared.image = &image_;
    setup.shared.makePort = env_.makePort;
    setup.shared.portPresent = portPresence(present);
    setup.records = options_.record.empty() ? nullptr : &records_;
    setup.stopRequested = env_.stopRequested;
    std::unique_ptr<RunView> view = humanView();
    if (view) setup.views.push_back(view.get());
    if (json_) setup.views.push_back(json_.get());
    return runFlash(setup, board);
  }

  // A port is present while some modem of the identities found still has
  // it; the device list is taken afresh for each question.
  std::function<bool(int)> portPresence(const std::vector<FlashTarget>& present) {
    std::vector<DeviceIdentity> ids;
    for (const FlashTarget& modem : present)
      ids.push_back({lowerCaseText(modem.vid.data(), static_cast<unsigned>(modem.vid.size())),
                     lowerCaseText(modem.pid.data(), static_cast<unsigned>(modem.pid.size()))});
    auto list = env_.listModems;
    return [list, ids](int comNumber) {
      std::vector<FlashTarget> now;
      std::string why;
      if (!list(ids, now, why)) return true;  // cannot tell: not called vanished
      for (const FlashTarget& modem : now) {
        for (const FlashTarget::Port& port : modem.ports) {
          if (port.comNumber == comNumber) return true;
        }
      }
      return false;
    };
  }

  std::unique_ptr<RunView> humanView() {
    return humanViewFor(options_.progress, human_, colour_, [this] {
      auto table = std::make_unique<LiveTable>(human_);
      table->useColour(colour_);
      return table;
    });
  }

  void startJson(const std::vector<FlashTarget>& targets) {
    if (!options_.json) return;
    json_ = std::make_unique<JsonEvents>(env_.out);
    json_->emit("run-start", runStartJson(base_));
    for (std::size_t index = 0; index < targets.size(); ++index) {
      json_->emit("modem-found", targetJson(index, targets[index]));
    }
  }

  void endJson(std::size_t found, int status, const RunBoard* board) {
    if (!json_) return;
    OrderedJson end;
    end["run"] = base_.run;
    end["found"] = found;
    if (options_.expect > 0) end["expected"] = options_.expect;
    end["pass"] = board ? board->count(FlashResult::Pass) : 0;
    end["fail"] = board ? board->count(FlashResult::Fail) : 0;
    end["aborted"] = board ? board->count(FlashResult::Aborted) : 0;
    end["exit_status"] = status;
    if (board != nullptr && board->recordsLost() > 0) end["record_written"] = false;
    json_->emit("run-end", end);
  }

  const FlashOptions& options_;
  StationEnvironment& env_;
  std::FILE* human_;
  const bool colour_ = colourWantedOn(options_.color, human_);
  ImageSource image_;
  RecordFile records_;
  ModemRecord base_;
  std::unique_ptr<JsonEvents> json_;
  bool missingPorts_ = false;
};

}  // namespace

int runFlashCommand(const FlashOptions& options, StationEnvironment& environment) {
  const int status = FlashCommand(options, environment).run();
  return statusAfterOutput(status, environment.out, environment.err);
}

namespace {

int runOnContext(const FlashOptions& options, StationContext& context) {
  return runStoppable(context, [&options](StationEnvironment& environment) {
    return runFlashCommand(options, environment);
  });
}

}  // namespace

void registerFlashCommand(CLI::App& app, StationContext& context, ChosenCommand& chosen) {
  auto options = std::make_shared<FlashOptions>();
  CLI::App* flash = addFlashOptions(app, *options);
  flash->callback([options, &context, &chosen] {
    chosen.run = [options, &context] { return runOnContext(*options, context); };
  });
}

}  // namespace tarnwick
