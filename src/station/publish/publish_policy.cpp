#include "station/publish/publish_policy.h"

#include <algorithm>
#include <utility>

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

std::string missingAddressText(const std::string& target) {
  static const std::pair<const char*, const char*> kForms[] = {
      {"/amq/queue/", "queue"},   {"/queue/", "queue"},        {"/queues/", "queue"},
      {"/exchange/", "exchange"}, {"/exchanges/", "exchange"},
  };
  for (const auto& [prefix, kind] : kForms) {
    const std::string start = prefix;
    if (target.size() <= start.size() || target.compare(0, start.size(), start) != 0) continue;
    const std::string rest = target.substr(start.size());
    return std::string("the broker has no ") + kind + " " + rest.substr(0, rest.find('/'));
  }
  return "the broker has no address " + target;
}

}  // namespace tarnwick
