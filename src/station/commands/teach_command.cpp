#include "station/commands/teach_command.h"

#include <set>

#include "station/commands/identity_option.h"
#include "station/commands/station_environment.h"
#include "station/run/run_setup.h"
#include "station/watch/slots_file.h"

namespace tarnwick {
namespace {

constexpr int kPollMs = 500;

std::set<std::string> locationsNow(StationEnvironment& env,
                                   const std::vector<DeviceIdentity>& ids) {
  std::vector<FlashTarget> present;
  std::string why;
  std::set<std::string> locations;
  if (!env.listModems(ids, present, why)) return locations;
  for (const FlashTarget& modem : present) locations.insert(modem.location);
  return locations;
}

// Waits for a modem to appear at a location not yet taught; false when the
// operator stops first.
bool nextNewLocation(StationEnvironment& env, const std::vector<DeviceIdentity>& ids,
                     const std::set<std::string>& taught, std::set<std::string>& before,
                     std::string& location) {
  while (!env.stopRequested()) {
    env.sleepMs(kPollMs);
    const std::set<std::string> now = locationsNow(env, ids);
    for (const std::string& candidate : now) {
      if (before.count(candidate) == 0 && taught.count(candidate) == 0) {
        location = candidate;
        before = now;
        return true;
      }
    }
    before = now;
  }
  return false;
}

// What stops the teaching before the operator is asked for anything: a
// label given twice, or a file that could not be written at the end.
bool teachable(const TeachOptions& options, std::string& why) {
  std::set<std::string> labels;
  for (const std::string& label : options.labels) {
    if (!labels.insert(label).second) {
      why = "label " + label + " is given twice";
      return false;
    }
  }
  if (!slotsFileWritable(options.slots)) {
    why = "slots file " + options.slots + " cannot be written";
    return false;
  }
  return true;
}

}  // namespace

int runTeachCommand(const TeachOptions& options, StationEnvironment& env) {
  std::vector<DeviceIdentity> ids;
  std::string why;
  if (!teachable(options, why)) {
    say(env.err, "tarnwick-station: " + why + "\n");
    return kExitBadInvocation;
  }
  chosenIdentities({}, ids, why);
  std::set<std::string> before = locationsNow(env, ids);
  std::set<std::string> taught;
  std::vector<Slot> slots;
  for (const std::string& label : options.labels) {
    say(env.out, "plug a modem into slot " + label + "\n");
    std::string location;
    if (!nextNewLocation(env, ids, taught, before, location)) {
      say(env.err, "tarnwick-station: stopped; " + options.slots + " not written\n");
      return kExitFailed;
    }
    taught.insert(location);
    slots.push_back({label, location});
    say(env.out, "slot " + label + ": " + location + "\n");
  }
  if (!writeSlotsFile(options.slots, slots, why)) {
    say(env.err, "tarnwick-station: slots file " + options.slots + " " + why + "\n");
    return kExitFailed;
  }
  return kExitDone;
}

void registerTeachCommand(CLI::App& app, StationContext& context, ChosenCommand& chosen) {
  auto options = std::make_shared<TeachOptions>();
  CLI::App* teach = addTeachOptions(app, *options);
  teach->callback([options, &context, &chosen] {
    chosen.run = [options, &context] {
      return runStoppable(context, [&options](StationEnvironment& environment) {
        return runTeachCommand(*options, environment);
      });
    };
  });
}

}  // namespace tarnwick
