#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

namespace tarnwick {

using CfxJson = nlohmann::ordered_json;

// A CFX message ready to send: the envelope as UTF-8 JSON text, and what
// the AMQP message carries beside it, as the CFX SDK sets it.
struct CfxMessage {
  std::string body;
  std::string messageId;            // the envelope's UniqueID: AMQP message-id
  std::string messageName;          // "CFX.Heartbeat": application property cfx-message
  std::string topic;                // "CFX": application property cfx-topic
  std::string handle;               // the envelope's Source: cfx-handle and AMQP reply-to
  std::string subject;              // "HANDLE.MessageName"
  std::string target;               // the envelope's Target: AMQP to and cfx-target; empty: null
  std::string requestId;            // the envelope's RequestID: AMQP correlation-id; empty: none
  std::int64_t creationTimeMs = 0;  // the envelope's TimeStamp: AMQP creation-time; 0: none
};

// Gives a new UUID text each call; empty when there is none to give.
using UuidSource = std::function<std::string()>;

// Hands out the UUIDs of one message; remembers when the source ran dry.
class CfxIdentifiers {
 public:
  explicit CfxIdentifiers(const UuidSource& source) : source_(source) {}
  std::string next();
  bool failed() const { return failed_; }

 private:
  const UuidSource& source_;
  bool failed_ = false;
};

// The envelope's own fields. Times are ISO 8601 text with their UTC offset
// ("2026-12-07T16:05:09.123+00:00"); empty text is sent as null.
struct CfxEnvelope {
  std::string handle;     // this station's CFX handle: Source
  std::string timeStamp;  // TimeStamp
  std::string uniqueId;   // UniqueID; empty: a new one from the identifiers
  std::string target;     // Target; empty: null (a message to every listener)
  std::string requestId;  // RequestID; empty: null
};

// The envelope of a message this station sends on its own: from `handle`
// at `timeStamp`, to no one in particular, a new UniqueID.
CfxEnvelope cfxEnvelopeFrom(const std::string& handle, const std::string& timeStamp,
                            const std::string& uniqueId = "");

// The one way every message is built: the envelope named `name` around
// `body`, and the AMQP fields beside it. The topic is the message name
// without its last part, as the CFX SDK sends it. False when `ids` ran dry.
bool cfxEnvelope(const std::string& name, const CfxEnvelope& fields, CfxJson body,
                 CfxIdentifiers& ids, CfxMessage& message);

// The AMQP fields of a message named `name` with these envelope fields
// (UniqueID given), everything but its body: what `cfxEnvelope` sets, for
// an envelope built elsewhere.
void cfxMessageFields(const std::string& name, const CfxEnvelope& fields, CfxMessage& message);

// Text as JSON, or null when empty.
CfxJson cfxTextOrNull(const std::string& text);

// An isoTimeUtc text with its UTC offset written out, as CFX gives times:
// "2026-12-07T16:05:09.123+00:00"; empty stays empty.
std::string cfxTime(const std::string& isoUtc);

// The CFX time of now.
std::string cfxNow();

// A TimeSpan as .NET writes it: "00:01:00", "1.02:03:04", "00:00:05.2500000".
std::string cfxTimeSpan(std::int64_t milliseconds);

// The instant of a CFX time ("...T16:05:09.123+01:00" or "...Z") in
// milliseconds since 1970; 0 when it is not of that form.
std::int64_t cfxTimeMs(const std::string& text);

}  // namespace tarnwick
