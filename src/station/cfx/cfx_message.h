#pragma once

#include <optional>
#include <string>

#include "station/cfx/cfx_envelope.h"

namespace tarnwick {

// A CFX test result as text: "Passed", "Failed", "Error", "Aborted", "Skipped".
enum class CfxResult { Passed, Failed, Error, Aborted, Skipped };
const char* cfxResultText(CfxResult result);

// What `watch` found when the modem came back after its flash.
struct CfxVersionCheck {
  CfxResult result = CfxResult::Passed;  // Passed: VERIFIED, Failed: MISMATCH, Skipped: UNVERIFIED
  std::string versionAfter;              // empty: the modem gave none
  std::string expectedVersion;           // empty: none known
  std::string checked;                   // ISO 8601 with UTC offset; empty: unknown
  std::string reason;                    // empty: none
};

// One modem's result, as the broker message carries it. Times are ISO 8601
// text with their UTC offset ("2026-12-07T16:05:09.123Z"); empty text is sent
// as null.
struct CfxUnitResult {
  std::string uniqueId;  // the envelope's UniqueID; empty: a new one
  // The unit's TransactionId, shared with its WorkStarted and WorkCompleted
  // (TransactionID there); empty: a new one.
  std::string transactionId;
  std::string handle;     // this station's CFX handle: the envelope's Source
  std::string timeStamp;  // the result's time: the envelope's TimeStamp
  std::string imageName;  // the image file's name: RecipeName
  std::string imageSha256;
  // The unit is known by the first of these that is not empty.
  std::string imei;
  std::string serial;
  std::string location;
  std::optional<int> slotIndex;  // UnitPositionNumber
  std::string slotLabel;
  std::string port;  // "COM7"
  // FIRMWARE_DOWNLOAD: Passed, Failed or Aborted.
  CfxResult download = CfxResult::Passed;
  std::string started;
  std::string ended;
  std::string reason;  // why the download failed; empty: none
  std::string versionBefore;
  std::string stage;
  std::optional<CfxVersionCheck> check;  // `watch` only
};

// The CFX.Production.TestAndInspection.UnitsTested message of one modem,
// with one tested unit. Every identifier in it not given (UniqueID,
// TransactionId, the tests' and measurements' UniqueIdentifier) comes from
// `newUuid`; the text
// is built once and sent unchanged on every resend. False when `newUuid`
// gave no UUID.
bool unitsTestedMessage(const CfxUnitResult& unit, const UuidSource& newUuid, CfxMessage& message);

// The text that names the unit in every message about it: its IMEI, else
// its serial, else its USB location.
const std::string& cfxUnitIdentifier(const CfxUnitResult& unit);

}  // namespace tarnwick
