#include "station/cfx/cfx_envelope.h"

#include <chrono>
#include <cstdio>

#include "text/iso_time.h"

namespace tarnwick {

std::string CfxIdentifiers::next() {
  std::string uuid = source_ ? source_() : std::string();
  if (uuid.empty()) failed_ = true;
  return uuid;
}

CfxJson cfxTextOrNull(const std::string& text) {
  return text.empty() ? CfxJson(nullptr) : CfxJson(text);
}

CfxEnvelope cfxEnvelopeFrom(const std::string& handle, const std::string& timeStamp,
                            const std::string& uniqueId) {
  CfxEnvelope envelope;
  envelope.handle = handle;
  envelope.timeStamp = timeStamp;
  envelope.uniqueId = uniqueId;
  return envelope;
}

bool cfxEnvelope(const std::string& name, const CfxEnvelope& fields, CfxJson body,
                 CfxIdentifiers& ids, CfxMessage& message) {
  const std::string uniqueId = fields.uniqueId.empty() ? ids.next() : fields.uniqueId;
  if (ids.failed() || uniqueId.empty()) return false;
  CfxJson whole;
  whole["MessageName"] = name;
  whole["Version"] = "2.1";
  whole["TimeStamp"] = cfxTextOrNull(fields.timeStamp);
  whole["UniqueID"] = uniqueId;
  whole["Source"] = fields.handle;
  whole["Target"] = cfxTextOrNull(fields.target);
  whole["RequestID"] = cfxTextOrNull(fields.requestId);
  whole["MessageBody"] = std::move(body);
  // Device text may hold bytes that are not UTF-8: replaced, never thrown.
  message.body = whole.dump(-1, ' ', false, CfxJson::error_handler_t::replace);
  CfxEnvelope withId = fields;
  withId.uniqueId = uniqueId;
  cfxMessageFields(name, withId, message);
  return true;
}

void cfxMessageFields(const std::string& name, const CfxEnvelope& fields, CfxMessage& message) {
  message.messageId = fields.uniqueId;
  message.messageName = name;
  message.topic = name.substr(0, name.rfind('.'));
  message.handle = fields.handle;
  message.subject = fields.handle + "." + name;
  message.target = fields.target;
  message.requestId = fields.requestId;
  message.creationTimeMs = cfxTimeMs(fields.timeStamp);
}

std::string cfxTime(const std::string& isoUtc) {
  if (isoUtc.empty() || isoUtc.back() != 'Z') return isoUtc;
  return isoUtc.substr(0, isoUtc.size() - 1) + "+00:00";
}

std::string cfxNow() {
  return cfxTime(isoTimeUtc(std::chrono::system_clock::now()));
}

std::string cfxTimeSpan(std::int64_t milliseconds) {
  if (milliseconds < 0) milliseconds = 0;
  const std::int64_t seconds = milliseconds / 1000;
  const std::int64_t days = seconds / 86400;
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(seconds / 3600 % 24),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  std::string span = days > 0 ? std::to_string(days) + "." + text : text;
  // .NET writes a fraction only when there is one, in seven digits.
  if (milliseconds % 1000 != 0) {
    std::snprintf(text, sizeof text, ".%03d0000", static_cast<int>(milliseconds % 1000));
    span += text;
  }
  return span;
}

std::int64_t cfxTimeMs(const std::string& text) {
  constexpr std::size_t kLocalPart = 23;  // "2026-12-07T16:05:09.123"
  std::int64_t offsetMinutes = 0;
  const std::string zone = text.size() > kLocalPart ? text.substr(kLocalPart) : "";
  if (zone != "Z") {
    int hours = 0, minutes = 0;
    char sign = 0, colon = 0, extra = 0;
    if (zone.size() != 6 ||
        std::sscanf(zone.c_str(), "%c%2d%c%2d%c", &sign, &hours, &colon, &minutes, &extra) != 4 ||
        (sign != '+' && sign != '-') || colon != ':') {
      return 0;
    }
    offsetMinutes = (sign == '-' ? -1 : 1) * (hours * 60 + minutes);
  }
  std::chrono::system_clock::time_point instant;
  if (!parseIsoTimeUtc(text.substr(0, kLocalPart) + "Z", instant)) return 0;
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(instant.time_since_epoch()).count();
  return ms - offsetMinutes * 60000;
}

}  // namespace tarnwick
