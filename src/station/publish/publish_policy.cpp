#include "station/publish/publish_policy.h"

#include <algorithm>

namespace tarnwick {

int reconnectDelayMs(int failures, double unitRandom, int firstMs, int maxMs) {
  double delay = firstMs;
  for (int i = 1; i < failures && delay < maxMs; ++i) delay *= 2;
  delay = std::min<double>(delay, maxMs);
  return static_cast<int>(delay * (0.8 + 0.4 * unitRandom));
}

bool refusesAddress(const std::string& conditionName) {
  // RabbitMQ 3.10 ends the session with these when it cannot attach a link
  // to the address: no such exchange (not-found), a queue declared with other
  // arguments (precondition-failed), an address form it does not know
  // (invalid-field), no write permission (unauthorized-access).
  static const char* const kRefusals[] = {"amqp:not-found", "amqp:precondition-failed",
                                          "amqp:invalid-field", "amqp:unauthorized-access",
                                          "amqp:not-allowed"};
  return std::find(std::begin(kRefusals), std::end(kRefusals), conditionName) !=
         std::end(kRefusals);
}

}  // namespace tarnwick
