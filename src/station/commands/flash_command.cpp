#include "station/commands/flash_command.h"

#include "station/commands/identity_option.h"
#include "station/commands/output_options.h"
#include "station/run/flash_run.h"
#include "station/run/mes_link.h"
#include "station/run/run_output.h"
#include "station/run/run_setup.h"
#include "station/run/target_choice.h"
#include "text/lower_case_text.h"

namespace tarnwick {
namespace {

constexpr int kExpectWaitMs = 10000;
constexpr int kExpectPollMs = 250;

RunOutputSettings outputSettings(const FlashOptions& options, const StationEnvironment& env) {
  return runOutputSettings(options.progress, options.color, options.json, options.record,
                           options.publish, env.out, env.err);
}

class FlashCommand {
 public:
  FlashCommand(const FlashOptions& options, StationEnvironment& environment)
      : options_(options), env_(environment), output_(outputSettings(options, environment)) {}

  int run() {
    std::vector<DeviceIdentity> ids;
    std::string why;
    if (!chosenIdentities(options_.ids, ids, why)) return usage(why);
    if (!image_.open(options_.image, why)) {
      return usage("image " + options_.image + " cannot be used: " + why);
    }
    if (!output_.openRecords(why) || !output_.startPublishing(why) || !startMes(why)) {
      return usage(why);
    }
    std::vector<FlashTarget> present;
    if (!findModems(ids, present, why)) return usage(why);
    TargetChoice choice;
    if (!chooseTargets(present, options_.ports, options_.interface, choice, why)) return usage(why);
    for (const std::string& note : choice.notes) say(env_.err, "tarnwick-station: " + note + "\n");
    base_ = recordBaseFor(image_, env_.toolVersion);
    output_.runStart(base_);
    const std::vector<FlashTarget>& targets = choice.targets;
    for (std::size_t index = 0; index < targets.size(); ++index) {
      output_.modemFound(index, targets[index]);
    }
    if (targets.empty()) {
      say(env_.err, "tarnwick-station: no modem found\n");
      return output_.end(kExitBadInvocation, counts(0));
    }
    for (const FlashTarget& target : targets) output_.board().addRow(target, image_.size());
    flash(targets, present);
    output_.summary();
    int status =
        output_.board().count(FlashResult::Pass) == targets.size() ? kExitDone : kExitFailed;
    if (countWrong(targets.size(), choice.portMissing)) status = kExitFailed;
    return output_.end(status, counts(targets.size()));
  }

 private:
  int usage(const std::string& text) {
    say(env_.err, "tarnwick-station: " + text + "\n");
    return kExitBadInvocation;
  }

  // --validate and --cfx-listen: a unit the MES does not answer for is
  // refused at once (a one-shot run does not wait).
  bool startMes(std::string& why) {
    return startMesLink(mes_,
                        mesLinkSettings(options_.mes, options_.publish.handle, env_.toolVersion),
                        image_, env_.err, why);
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

  // A wrong count fails the run even when every modem found passed, so it
  // is said why.
  bool countWrong(std::size_t found, bool portMissing) {
    if (portMissing) return true;
    if (options_.expect == 0 || found == static_cast<std::size_t>(options_.expect)) return false;
    say(env_.err, "tarnwick-station: --expect " + std::to_string(options_.expect) + " but " +
                      std::to_string(found) + (found == 1 ? " modem was" : " modems were") +
                      " found\n");
    return true;
  }

  void flash(const std::vector<FlashTarget>& targets, const std::vector<FlashTarget>& present) {
    FlashRunSetup setup;
    setup.targets = targets;
    setup.jobs = options_.jobs;
    setup.shared.recordBase = base_;
    setup.shared.image = &image_;
    setup.shared.makePort = env_.makePort;
    setup.shared.portPresent = portPresence(env_.listModems, identitiesOf(present), "");
    setup.shared.mesGate = mes_.gate();
    setup.stopRequested = env_.stopRequested;
    output_.showProgress();
    runFlash(setup, output_);
  }

  // The identities of the modems found, so that a question about a port
  // sees the same modems.
  static std::vector<DeviceIdentity> identitiesOf(const std::vector<FlashTarget>& present) {
    std::vector<DeviceIdentity> ids;
    for (const FlashTarget& modem : present)
      ids.push_back({lowerCaseText(modem.vid.data(), static_cast<unsigned>(modem.vid.size())),
                     lowerCaseText(modem.pid.data(), static_cast<unsigned>(modem.pid.size()))});
    return ids;
  }

  // `run-end`'s counts.
  OrderedJson counts(std::size_t found) {
    const RunBoard& board = output_.board();
    OrderedJson counts;
    counts["found"] = found;
    if (options_.expect > 0) counts["expected"] = options_.expect;
    counts["pass"] = board.count(FlashResult::Pass);
    counts["fail"] = board.count(FlashResult::Fail);
    counts["aborted"] = board.count(FlashResult::Aborted);
    if (mes_.gate() != nullptr) counts["refused"] = board.count(FlashResult::Refused);
    return counts;
  }

  const FlashOptions& options_;
  StationEnvironment& env_;
  RunOutput output_;
  ImageSource image_;
  ModemRecord base_;
  MesLink mes_;
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
