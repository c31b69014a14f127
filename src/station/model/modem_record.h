#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tarnwick {

// Refused: the MES did not allow the unit (--validate), so it was not flashed.
enum class FlashResult { Pass, Fail, Aborted, Skipped, Refused };

// "PASS", "FAIL", "ABORTED", "SKIPPED", "REFUSED"
const char* resultName(FlashResult result);

// What the version after the re-plug showed (watch); None: not settled, or
// the flash did not pass.
enum class Verification { None, Verified, Mismatch, Unverified };

const char* verificationName(Verification verification);  // "VERIFIED", ...; "" for None

// What is kept of one modem's flash: the record file's line and the
// `modem-end` event.
struct ModemRecord {
  std::string run;
  std::string host;
  std::string toolVersion;
  std::string location;
  std::string serial;
  std::string imei;  // as AT+CGSN gave it; empty: none
  std::string vid;
  std::string pid;
  int port = 0;
  std::string tty;
  std::optional<int> interfaceNumber;  // none for a single-interface device
  std::string versionBefore;
  std::string image;
  std::uint64_t imageSize = 0;
  std::string imageSha256;
  std::uint64_t bytesSent = 0;
  std::uint64_t packets = 0;
  std::string started;
  std::string ended;
  double seconds = 0;
  double kibPerS = 0;
  FlashResult result = FlashResult::Fail;
  std::string stage;
  std::string reason;
  std::string log;

  // Watch only: a record when the flash ends and, after a PASS, another
  // when the check ends, with what the re-plug showed.
  bool watchCycle = false;
  std::size_t cycle = 0;  // the cycle's number in the run, as in the events' `modem`
  bool hasVersionAfter = false;
  std::string versionAfter;
  Verification verified = Verification::None;
  std::string slot;  // empty: the location is in no slot
  int attempt = 0;   // 1, 2, ... per unit (location and serial) in the run
  bool duplicate = false;
  int slotIndex = 0;  // the slot's place in the slots file, from 1; 0: in none

  // With --publish: the UniqueID of the unit's result message (a cycle's
  // records share it); empty: nothing is published.
  std::string messageId;
};

}  // namespace tarnwick
