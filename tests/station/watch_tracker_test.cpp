// Watch's tracker on scripted device lists: which cycle a modem that comes
// back belongs to, when it is a new attempt, twins, pulls during a flash,
// and the verify timeout.
#include "station/watch/watch_tracker.h"

#include <gtest/gtest.h>

#include <sstream>

#include "station/watch/replug_verdict.h"
#include "station/watch/slot_fail_rule.h"
#include "station/watch/station_state.h"

namespace tarnwick {
namespace {

using namespace std::chrono_literals;

// One step of a script and what the tracker must answer to it:
//   "list SERIAL@LOCATION ..."  a device list ("-" for no serial);
//   "pass C", "fail C"         cycle C's flash ended ("pass C IMEI": the modem gave one);
//   "checked C"                cycle C's version check ended without an answer;
//   "answered C IMEI took|old" it answered, IMEI "-" for none, its version
//                              --expect-version's (took) or not: "this:C",
//                              "other:C" or "new:C" (a unit to flash as cycle C);
//   "wait S"                   S seconds go by;
//   "cycle C"                  answers "attempt N" and " duplicate" if so;
//   "state"                    answers the station's state code from the
//                              tracker's view (no unit waits for the MES).
// Answers to a list are its actions in order, as "flash:C gone:C back:C
// expired:C duplicate:C".
struct Step {
  std::string command;
  std::string answer;
};

struct Script {
  const char* name;
  std::vector<Step> steps;
};

void PrintTo(const Script& script, std::ostream* out) {
  *out << script.name;
}

class ScriptedTracker {
 public:
  std::string run(const std::string& command) {
    std::istringstream words(command);
    std::string verb;
    words >> verb;
    if (verb == "list") return list(words);
    if (verb == "state") return std::to_string(stationState({tracker_.cyclesAtWork(), 0}));
    std::size_t number = 0;
    std::string imei;
    std::string version;
    words >> number >> imei >> version;
    if (imei == "-") imei.clear();
    if (verb == "pass" || verb == "fail") tracker_.flashEnded(number, verb == "pass", now_, imei);
    if (verb == "checked") tracker_.verifyEnded(number);
    if (verb == "answered") return answered(number, imei, version == "took");
    if (verb == "wait") now_ += std::chrono::seconds(number);
    if (verb != "cycle") return "";
    return "attempt " + std::to_string(tracker_.attempt(number)) +
           (tracker_.duplicate(number) ? " duplicate" : "");
  }

 private:
  std::string list(std::istringstream& words) {
    std::vector<FlashTarget> present;
    for (std::string modem; words >> modem;) {
      FlashTarget target;
      target.serial = modem.substr(0, modem.find('@'));
      if (target.serial == "-") target.serial.clear();
      target.location = modem.substr(modem.find('@') + 1);
      present.push_back(target);
    }
    static const char* const kNames[] = {"flash", "gone", "back", "expired", "duplicate"};
    std::string answer;
    for (const WatchTracker::Action& action : tracker_.update(present, now_)) {
      if (!answer.empty()) answer += ' ';
      answer += kNames[static_cast<int>(action.kind)] + (":" + std::to_string(action.cycle));
    }
    return answer;
  }

  std::string answered(std::size_t cycle, const std::string& imei, bool took) {
    static const char* const kNames[] = {"this", "other", "new"};
    const WatchTracker::Return unit = tracker_.checked(cycle, imei, took);
    return kNames[static_cast<int>(unit.kind)] + (":" + std::to_string(unit.cycle));
  }

  WatchTracker tracker_{120s};
  WatchTracker::Clock::time_point now_{};
};

const Script kScripts[] = {
    {"ReplugAtTheSamePlaceIsChecked",
     {{"list A@1-1", "flash:0"},
      {"pass 0", ""},
      {"list A@1-1", ""},
      {"list", "gone:0"},
      {"list A@1-1", "back:0"},
      {"checked 0", ""},
      {"list A@1-1", ""},
      {"list", "gone:0"},
      {"list A@1-1", "flash:1"},
      {"cycle 1", "attempt 2"}}},
    {"UniqueSerialComesBackElsewhere",
     {{"list A@1-1 B@1-2", "flash:0 flash:1"},
      {"pass 0", ""},
      {"list B@1-2", "gone:0"},
      {"list B@1-2 A@3-9", "back:0"}}},
    {"NoSerialCountsOnlyWhereItWas",
     {{"list -@1-1", "flash:0"},
      {"pass 0", ""},
      {"list", "gone:0"},
      {"list -@1-2", "flash:1"},
      {"list -@1-2 -@1-1", "back:0"},
      {"cycle 1", "attempt 1"}}},
    {"TwinsAreBothFlaggedAndComeBackOnlyWhereTheyWere",
     {{"list T@1-1 T@1-2", "flash:0 flash:1"},
      {"cycle 0", "attempt 1 duplicate"},
      {"cycle 1", "attempt 1 duplicate"},
      {"pass 0", ""},
      {"pass 1", ""},
      {"list T@1-2", "gone:0"},
      {"list T@1-2 T@1-3", "flash:2"},
      {"list T@1-2 T@1-3 T@1-1", "back:0"}}},
    {"AnotherImeiIsANewUnitAndTheCycleWaitsOn",
     {{"list S@1-1", "flash:0"},
      {"pass 0 350000000000001", ""},
      {"list", "gone:0"},
      {"list S@1-2", "back:0"},
      {"answered 0 350000000000002 took", "new:1"},
      {"cycle 1", "attempt 1"},
      {"list S@1-2 S@1-1", "back:0 duplicate:0 duplicate:1"},
      {"answered 0 350000000000001 took", "this:0"}}},
    {"WithoutImeiElsewhereCountsOnlyOnTheExpectedVersion",
     {{"list S@1-1", "flash:0"},
      {"pass 0", ""},
      {"list", "gone:0"},
      {"list S@1-2", "back:0"},
      {"answered 0 - old", "new:1"},
      {"list", "gone:1"},
      {"list S@1-3", "back:0"},
      {"answered 0 - took", "this:0"}}},
    {"TheImeiOfAnotherWaitingCycleEndsThatOne",
     {{"list T@1-1 T@1-2", "flash:0 flash:1"},
      {"pass 0 350000000000001", ""},
      {"pass 1 350000000000002", ""},
      {"list", "gone:0 gone:1"},
      {"list T@1-3", "back:0"},
      {"answered 0 350000000000002 took", "other:1"},
      {"list T@1-3 T@1-1", "back:0"}}},
    {"ALaterTwinFlagsTheFirst",
     {{"list T@1-1", "flash:0"},
      {"cycle 0", "attempt 1"},
      {"list T@1-1 T@1-2", "flash:1 duplicate:0"},
      {"cycle 0", "attempt 1 duplicate"}}},
    {"PulledDuringItsFlashIsANewAttempt",
     {{"list A@1-1", "flash:0"},
      {"list", "gone:0"},
      {"fail 0", ""},
      {"list A@1-1", "flash:1"},
      {"cycle 1", "attempt 2"}}},
    {"ReplugDuringTheFlashIsSeenAtTheNextList",
     {{"list A@1-1", "flash:0"},
      {"list", "gone:0"},
      {"list A@1-1", ""},
      {"pass 0", ""},
      {"list A@1-1", "back:0"}}},
    {"StateIsWorkWhileAUnitIsFlashedOrChecked",
     {{"state", "2202"},
      {"list A@1-1 B@1-2", "flash:0 flash:1"},
      {"state", "1100"},
      {"fail 1", ""},
      {"pass 0", ""},
      {"state", "2202"},  // A waits for its re-plug, B is done: starved
      {"list B@1-2", "gone:0"},
      {"list A@1-1 B@1-2", "back:0"},
      {"state", "1100"},  // checking A
      {"answered 0 - took", "this:0"},
      {"state", "2202"}}},
    {"NoReplugWithinTheTimeoutExpires",
     {{"list A@1-1 B@1-2", "flash:0 flash:1"},
      {"pass 0", ""},
      {"wait 119", ""},
      {"list A@1-1 B@1-2", ""},
      {"wait 1", ""},
      {"list B@1-2", "gone:0 expired:0"},
      {"list A@1-1 B@1-2", "flash:2"}}},
};

class WatchTrackerScript : public ::testing::TestWithParam<Script> {};

TEST_P(WatchTrackerScript, AnswersEachStep) {
  ScriptedTracker tracker;
  for (const Step& step : GetParam().steps) {
    EXPECT_EQ(tracker.run(step.command), step.answer) << step.command;
  }
}

INSTANTIATE_TEST_SUITE_P(Scripts, WatchTrackerScript, ::testing::ValuesIn(kScripts),
                         [](const auto& info) { return std::string(info.param.name); });

// The verdict after the re-plug: without --expect-version a changed version
// shows the flash took; with it, only that version does. Whether the version
// shows a flashed unit back elsewhere (no IMEI to tell): only
// --expect-version's does, as a never-flashed unit may be on another old one.
struct VerdictCase {
  bool answered;
  const char* before;
  const char* expected;
  const char* after;
  Verification verdict;
  bool showsAFlashedUnit;
};

// clang-format off
const VerdictCase kVerdicts[] = {
    {true,  "V1", "",   "V2", Verification::Verified,   false},  // Y on V2, taken for X: a new unit
    {true,  "V1", "",   "V1", Verification::Mismatch,   false},
    {true,  "V1", "V2", "V2", Verification::Verified,   true},
    {true,  "V1", "V2", "V3", Verification::Mismatch,   false},  // changed, not to the one asked for
    {true,  "V2", "V2", "V2", Verification::Verified,   true},   // --force onto the version it had
    {false, "V1", "",   "",   Verification::Unverified, false},
};
// clang-format on

TEST(ReplugVerdict, FollowsTheVersionAfterTheReplug) {
  for (const VerdictCase& c : kVerdicts) {
    EXPECT_EQ(replugVerdict(c.answered, c.before, c.expected, c.after), c.verdict)
        << c.before << " -> " << c.after << " expecting '" << c.expected << "'";
    EXPECT_EQ(versionShowsAFlashedUnit(c.expected, c.after), c.showsAFlashedUnit)
        << c.after << " expecting '" << c.expected << "'";
  }
}

// A unit held for the MES makes the station wait for its host, unless
// another is being worked on.
TEST(StationState, WorkThenHostThenStarved) {
  const std::vector<std::tuple<std::size_t, std::size_t, int>> rows = {{0, 0, kStateStarved},
                                                                       {1, 0, kStateRegularWork},
                                                                       {0, 1, kStateNoHost},
                                                                       {2, 1, kStateRegularWork}};
  for (const auto& [working, waiting, state] : rows) {
    EXPECT_EQ(stationState({working, waiting}), state) << working << " " << waiting;
  }
}

// The slot-fault rule, unit by unit: "SLOT:f|p|n" (failed, passed,
// neither) and what it answers: "-", "raise", "clear".
TEST(SlotFailRule, KInARowRaiseAPassClears) {
  const std::vector<std::vector<std::pair<std::string, std::string>>> rows = {
      {{"A:f", "-"}, {"A:f", "-"}, {"A:f", "raise"}, {"A:f", "-"}, {"A:p", "clear"}},
      {{"A:f", "-"}, {"A:f", "-"}, {"A:p", "-"}, {"A:f", "-"}, {"A:f", "-"}, {"A:f", "raise"}},
      {{"A:f", "-"}, {"B:f", "-"}, {"A:f", "-"}, {"B:p", "-"}, {"A:f", "raise"}},
      {{"A:f", "-"}, {"A:n", "-"}, {"A:f", "-"}, {"A:f", "raise"}, {"A:n", "-"}, {"A:p", "clear"}},
  };
  for (const auto& row : rows) {
    SlotFailRule rule(3);
    for (const auto& [unit, answer] : row) {
      const SlotOutcome outcome = unit[2] == 'f'   ? SlotOutcome::Failed
                                  : unit[2] == 'p' ? SlotOutcome::Passed
                                                   : SlotOutcome::Neither;
      const SlotFaultChange change = rule.observe(unit.substr(0, 1), outcome);
      EXPECT_EQ(change == SlotFaultChange::Raise   ? "raise"
                : change == SlotFaultChange::Clear ? "clear"
                                                   : "-",
                answer)
          << unit << " in row " << (&row - &rows[0]);
    }
  }
}

}  // namespace
}  // namespace tarnwick
