#include "station/publish/amqp_message.h"

#include <optional>
#include <proton/binary.hpp>
#include <proton/message_id.hpp>
#include <proton/scalar.hpp>
#include <proton/timestamp.hpp>

namespace tarnwick {

OutgoingMessage outgoingOf(const CfxMessage& message) {
  OutgoingMessage outgoing;
  outgoing.messageId = message.messageId;
  outgoing.subject = message.subject;
  outgoing.body = message.body;
  // As the CFX SDK sets them: to the Target (none when it is null), reply
  // to the Source, the RequestID as the correlation, the TimeStamp.
  outgoing.to = message.target;
  outgoing.replyTo = message.handle;
  outgoing.correlationId = message.requestId;
  outgoing.creationTimeMs = message.creationTimeMs;
  std::optional<std::string> target;
  if (!message.target.empty()) target = message.target;
  outgoing.properties = {{"cfx-topic", message.topic},
                         {"cfx-message", message.messageName},
                         {"cfx-handle", message.handle},
                         {"cfx-target", target}};
  return outgoing;
}

proton::message protonMessage(const OutgoingMessage& outgoing) {
  proton::message message;
  message.id(proton::message_id(outgoing.messageId));
  message.subject(outgoing.subject);
  message.content_type(outgoing.contentType);
  message.durable(true);
  message.inferred(true);  // a binary body as one Data section
  message.body(proton::binary(outgoing.body));
  if (!outgoing.to.empty()) message.to(outgoing.to);
  if (!outgoing.replyTo.empty()) message.reply_to(outgoing.replyTo);
  if (!outgoing.correlationId.empty())
    message.correlation_id(proton::message_id(outgoing.correlationId));
  if (outgoing.creationTimeMs > 0)
    message.creation_time(proton::timestamp(outgoing.creationTimeMs));
  for (const auto& [name, value] : outgoing.properties) {
    if (value) {
      message.properties().put(name, *value);
    } else {
      message.properties().put(name, proton::scalar());  // an AMQP null
    }
  }
  return message;
}

std::string bodyText(const proton::message& message) {
  if (message.body().type() == proton::BINARY)
    return std::string(proton::get<proton::binary>(message.body()));
  if (message.body().type() == proton::STRING) return proton::get<std::string>(message.body());
  return "";
}

}  // namespace tarnwick
