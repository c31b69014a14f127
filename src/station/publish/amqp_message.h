#pragma once

#include <proton/message.hpp>
#include <string>

#include "station/cfx/cfx_envelope.h"
#include "station/publish/amqp_publisher.h"

namespace tarnwick {

// A CFX message as AMQP carries it, with what the CFX SDK sets beside the
// body: to, reply-to, correlation-id, creation-time and the cfx-*
// application properties.
OutgoingMessage outgoingOf(const CfxMessage& message);

// The Proton message of an outgoing one: the body as one Data section.
proton::message protonMessage(const OutgoingMessage& outgoing);

// The text a message carries, as one Data section or an AMQP string; empty
// for any other body.
std::string bodyText(const proton::message& message);

}  // namespace tarnwick
