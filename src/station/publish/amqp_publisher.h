#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "station/publish/broker_address.h"

namespace tarnwick {

// One message for the broker. It goes out durable, with the body as one
// Data section (the bytes as they are).
struct OutgoingMessage {
  std::string messageId;  // the AMQP message-id; the same on every resend
  std::string subject;
  std::string body;
  std::string contentType = "application/json; charset=\"utf-8\"";
  std::string to;                   // empty: none
  std::string replyTo;              // empty: none
  std::string correlationId;        // empty: none
  std::int64_t creationTimeMs = 0;  // milliseconds since 1970; 0: none
  // Application properties (cfx-topic, cfx-message, cfx-handle,
  // cfx-target): strings, or none for an AMQP null.
  std::vector<std::pair<std::string, std::optional<std::string>>> properties;
};

enum class PublishOutcome {
  Accepted,  // the broker took it: it counts as sent
  Rejected,  // the broker rejected this delivery: sending the same message again cannot help
  Retry,     // no outcome (released, modified, no connection, no link in time): send it again
  // The broker lacks or refuses the target address: a mistake in the
  // setup, not in the message, which waits to be sent once it is mended.
  AddressRefused,
};

struct PublishResult {
  std::string messageId;
  PublishOutcome outcome = PublishOutcome::Retry;
  std::string reason;  // empty when accepted; never holds the password
};

struct PublisherSettings {
  // A message not on a link this long after `submit` is reported Retry. One
  // sent on an open link waits for its outcome as long as the link lasts;
  // the publisher's user may stop counting on it after this long.
  int outcomeTimeoutMs = 10000;
  // Waits between connection attempts: doubling from the first to the last.
  int firstReconnectDelayMs = 1000;
  int maxReconnectDelayMs = 30000;
};

// Called once per submitted message with its outcome, on the publisher's
// own thread. It may call `submit` (for a resend), but not `stop`.
using PublishCallback = std::function<void(const PublishResult&)>;

// Publishes messages to one target address over one long-lived AMQP 1.0
// connection, kept by a thread of its own: it connects at `start`, and
// after a failed or lost connection connects again after a growing wait.
// Given the brokers of a cluster (the same target on each), it connects to
// the first, and after each failed or lost connection to the next, round
// the list.
// Before it sends on a link, it makes sure the broker has the address (a
// receiving link to it, given no credit, is refused when the broker has no
// such queue or exchange; RabbitMQ 3 would otherwise accept and drop what
// is sent there). Every submitted message gets exactly one outcome; a
// message that has none when the connection drops is reported Retry (it
// may still have arrived: the broker sees it again under the same
// message-id).
class AmqpPublisher {
 public:
  AmqpPublisher(std::vector<BrokerAddress> brokers, PublishCallback onResult,
                PublisherSettings settings = PublisherSettings{});
  AmqpPublisher(BrokerAddress address, PublishCallback onResult,
                PublisherSettings settings = PublisherSettings{});
  ~AmqpPublisher();  // stops it
  AmqpPublisher(const AmqpPublisher&) = delete;
  AmqpPublisher& operator=(const AmqpPublisher&) = delete;

  // Starts the thread, which connects. False with `error` when it cannot.
  bool start(std::string* error);

  // Hands one message to the publisher thread; thread-safe. False (and no
  // outcome will follow) when the publisher is not running.
  bool submit(OutgoingMessage message);

  // Closes the connection and joins the thread; messages still without an
  // outcome are reported Retry before it returns. Harmless when not running.
  void stop();

  // True while the connection and its sending link are open.
  bool linkOpen() const;
  // Which of the brokers is connected to, or being tried.
  std::size_t brokerInUse() const;

 private:
  struct Running;
  std::vector<BrokerAddress> brokers_;
  PublishCallback onResult_;
  PublisherSettings settings_;
  std::unique_ptr<Running> running_;
};

}  // namespace tarnwick
