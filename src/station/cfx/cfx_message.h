#pragma once

#include <functional>
#include <optional>
#include <string>

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
  std::string uniqueId;   // the envelope's UniqueID; empty: a new one
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

// A CFX message ready to send: the envelope as UTF-8 JSON text, and what
// the AMQP message carries beside it.
struct CfxMessage {
  std::string body;
  std::string messageId;    // the envelope's UniqueID: AMQP message-id
  std::string messageName;  // "CFX.Heartbeat": application property cfx-message
  std::string topic;        // "CFX": application property cfx-topic
  std::string handle;       // the envelope's Source: application property cfx-handle
  std::string subject;      // "HANDLE.MessageName"
};

// Gives a new UUID text each call; empty when there is none to give.
using UuidSource = std::function<std::string()>;

// The CFX.Production.TestAndInspection.UnitsTested message of one modem,
// with one tested unit. Every identifier in it (UniqueID, TransactionId, the
// tests' and measurements' UniqueIdentifier) comes from `newUuid`; the text
// is built once and sent unchanged on every resend. False when `newUuid`
// gave no UUID.
bool unitsTestedMessage(const CfxUnitResult& unit, const UuidSource& newUuid, CfxMessage& message);

// The CFX.Heartbeat message of `handle`, saying the next comes within
// `frequencySeconds`. False when `newUuid` gave no UUID.
bool heartbeatMessage(const std::string& handle, const std::string& timeStamp, int frequencySeconds,
                      const UuidSource& newUuid, CfxMessage& message);

}  // namespace tarnwick
