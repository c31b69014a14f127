#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "station/model/flash_target.h"

namespace tarnwick {

// Watch's memory of the modems it has seen, fed one device list after
// another. A modem is known by its USB location and serial, never by its
// port numbers. Each plug-in starts a cycle: the flash, then (when it
// passed) the wait for the re-plug and the version check. The tracker
// decides; the caller does the work and reports back.
class WatchTracker {
 public:
  using Clock = std::chrono::steady_clock;

  struct Action {
    enum class Kind {
      Flash,      // a modem was plugged in: flash it as cycle `cycle`
      Gone,       // the modem of `cycle` left the list
      Back,       // the modem of `cycle` is back after its re-plug: verify it
      Expired,    // `cycle` waited the verify timeout in vain
      Duplicate,  // the modem of `cycle` shares its serial with another present one
    };
    Kind kind;
    std::size_t cycle;
    FlashTarget target;  // the modem as the list shows it now
  };

  // Whose unit the modem was that a check after the re-plug answered.
  struct Return {
    enum class Kind {
      ThisUnit,    // the checked cycle's: its check is its verdict
      OtherCycle,  // the unit of waiting cycle `cycle`: the check is that one's verdict
      NewUnit,     // a unit not flashed yet: flash it as cycle `cycle`
    };
    Kind kind;
    std::size_t cycle;
  };

  explicit WatchTracker(std::chrono::milliseconds verifyTimeout) : verifyTimeout_(verifyTimeout) {}

  // Compares a fresh device list with the one before.
  std::vector<Action> update(const std::vector<FlashTarget>& present, Clock::time_point now);
  // `imei`: what the modem gave before its download; empty: none.
  void flashEnded(std::size_t cycle, bool passed, Clock::time_point now,
                  const std::string& imei = "");
  // The check of `cycle` got the modem's version: `imei` as the modem gave
  // it (empty: none) and whether the version shows a flashed unit (it is
  // --expect-version's). A unit is known by its IMEI when both have one;
  // without, the modem is the cycle's unit back where it was flashed,
  // elsewhere only when its version shows a flashed unit. Unless it is the
  // cycle's unit, the cycle waits on.
  Return checked(std::size_t cycle, const std::string& imei, bool versionShowsFlashed);
  // Closes the cycle (a check without answer, or the end of the run).
  void verifyEnded(std::size_t cycle);

  // The cycles still waiting for their re-plug or its check.
  std::vector<std::size_t> waitingCycles() const;
  // The cycles whose unit is being flashed or checked now.
  std::size_t cyclesAtWork() const;
  bool duplicate(std::size_t cycle) const { return cycles_[cycle].duplicate; }
  int attempt(std::size_t cycle) const { return cycles_[cycle].attempt; }

 private:
  enum class Phase { Flashing, AwaitingUnplug, AwaitingReturn, Verifying, Closed };
  struct Cycle {
    std::string deviceKey;
    std::string serial;
    std::string location;  // where it was flashed
    std::string imei;
    Phase phase = Phase::Flashing;
    Clock::time_point passedAt{};
    bool duplicate = false;
    int attempt = 0;
  };
  struct Device {
    bool present = false;
    bool cycleOpen = false;  // `cycle` (its latest) is still open
    std::size_t cycle = 0;
    bool missedDuringCycle = false;  // left the list while its cycle ran
  };

  void noteDepartures(const std::map<std::string, const FlashTarget*>& now,
                      std::vector<Action>& actions);
  void noteArrival(const std::string& key, const FlashTarget& modem,
                   const std::map<std::string, int>& serialCount, std::vector<Action>& actions);
  bool returningCycle(const FlashTarget& modem, const std::map<std::string, int>& serialCount,
                      std::size_t& cycle) const;
  void noteDuplicates(const std::map<std::string, const FlashTarget*>& now,
                      const std::map<std::string, int>& serialCount, std::vector<Action>& actions);
  void noteExpiries(Clock::time_point now, std::vector<Action>& actions);
  std::size_t openCycle(const std::string& key, const std::string& serial,
                        const std::string& location, bool duplicate);
  bool sameUnit(const Cycle& cycle, const std::string& imei, bool versionShowsFlashed) const;
  bool waitingCycleOf(const std::string& imei, std::size_t& cycle) const;
  void release(std::size_t cycle);
  int presentWithSerial(const std::string& serial) const;

  std::chrono::milliseconds verifyTimeout_;
  std::map<std::string, Device> devices_;
  std::vector<Cycle> cycles_;
  std::map<std::string, int> attempts_;  // by unit: location and serial
};

}  // namespace tarnwick
