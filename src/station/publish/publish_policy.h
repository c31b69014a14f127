#pragma once

#include <string>

namespace tarnwick {

// How long to wait before connecting again after `failures` failed or lost
// connections in a row (1 for the first): `firstMs` doubling each time up to
// `maxMs`, then spread by +-20% with `unitRandom` (0 <= unitRandom < 1), so
// that stations cut off together do not all come back in the same second.
int reconnectDelayMs(int failures, double unitRandom, int firstMs, int maxMs);

// True when a broker's error condition (an AMQP condition name such as
// "amqp:not-found") on a link or session it closes says that it refuses the
// target address itself: sending the same message again cannot succeed.
// Other conditions (resource limits, internal errors, ...) may pass.
bool refusesAddress(const std::string& conditionName);

// What to say when the broker has no such node as the target address
// names: "the broker has no queue NAME" for RabbitMQ's queue addresses
// (/amq/queue/NAME, /queue/NAME, /queues/NAME), "... no exchange NAME" for
// its exchange addresses (with or without a routing key), else "... no
// address TARGET".
std::string missingAddressText(const std::string& target);

}  // namespace tarnwick
