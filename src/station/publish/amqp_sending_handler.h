#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <proton/connection.hpp>
#include <proton/messaging_handler.hpp>
#include <proton/sender.hpp>
#include <random>
#include <string>
#include <vector>

#include "station/publish/amqp_publisher.h"

namespace tarnwick {

// The publisher's side of the Proton container: every method runs on the
// container's thread. It keeps the connection and one sending link, queues
// messages until the link can take them, and reports each message's outcome
// once. Each link starts with a check that the broker has the address: a
// receiving link to it with no credit, closed once the broker has attached
// it. A tick every 100 ms takes messages from the inbox, ends the waits of
// messages that found no link in time and connects again when the wait
// after a failure is over; it stops rearming itself once the publisher
// stops, so the container's run() can end. A message sent on the link
// waits for its outcome as long as the link lasts.
class AmqpSendingHandler : public proton::messaging_handler {
 public:
  using TakeInbox = std::function<std::vector<OutgoingMessage>()>;

  struct Shared {
    std::atomic<bool> stopping{false};
    std::atomic<bool> linkOpen{false};
    std::atomic<std::size_t> broker{0};  // the broker connected to, or being tried
  };

  AmqpSendingHandler(const std::vector<BrokerAddress>& brokers, const PublisherSettings& settings,
                     PublishCallback onResult, TakeInbox takeInbox, Shared* shared);

  // Takes what the inbox holds and sends what the link has credit for.
  void wake();
  // Reports Retry for every message still without an outcome (after run()).
  void abandonAll(const std::string& reason);

  void on_container_start(proton::container& container) override;
  void on_connection_open(proton::connection& connection) override;
  void on_connection_error(proton::connection& connection) override;
  void on_transport_error(proton::transport& transport) override;
  void on_transport_close(proton::transport& transport) override;
  void on_session_error(proton::session& session) override;
  void on_session_close(proton::session& session) override;
  void on_receiver_open(proton::receiver& receiver) override;
  void on_receiver_error(proton::receiver& receiver) override;
  void on_receiver_close(proton::receiver& receiver) override;
  void on_sender_open(proton::sender& sender) override;
  void on_sender_error(proton::sender& sender) override;
  void on_sender_close(proton::sender& sender) override;
  void on_sendable(proton::sender& sender) override;
  void on_tracker_accept(proton::tracker& tracker) override;
  void on_tracker_reject(proton::tracker& tracker) override;
  void on_tracker_release(proton::tracker& tracker) override;
  void on_error(const proton::error_condition& condition) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    std::uint64_t number = 0;
    OutgoingMessage message;
    Clock::time_point deadline;  // when it is reported Retry if still not sent
  };
  // The sending link's life: the check of the address, the sender's attach,
  // open.
  enum class Link { None, Checking, Attaching, Open };

  void tick();
  void connect();
  void openLink();
  bool sendWaiting();  // true when it sent any
  void connectionLost();
  void linkLost();
  void noteProblem(const proton::error_condition& condition);
  void expireOverdue();
  void finish(std::uint64_t number, PublishOutcome outcome, const std::string& reason);
  void failAll(PublishOutcome outcome, const std::string& reason);
  void report(const std::string& messageId, PublishOutcome outcome, const std::string& reason);
  int nextDelayMs(int failures);
  std::string connectFailure(const std::string& what) const;
  std::string brokerName() const;

  std::vector<BrokerAddress> brokers_;  // one per node of a cluster: the same target on each
  std::size_t current_ = 0;             // the one connected to, or tried next
  PublisherSettings settings_;
  PublishCallback onResult_;
  TakeInbox takeInbox_;
  Shared* shared_;
  proton::container* container_ = nullptr;

  proton::connection connection_;
  proton::sender sender_;
  bool connecting_ = false;  // a connection exists, open or on its way
  bool opened_ = false;      // ... and the broker has opened it
  Link link_ = Link::None;
  std::string problem_;      // the broker's or Proton's error text on this connection
  std::string problemName_;  // its condition's name (amqp:not-found, ...)
  std::string lastProblem_;  // why the last connection or link ended, for expiry reports
  bool refused_ = false;     // the last link ended because the broker refuses the address
  int connectFailures_ = 0;
  int linkFailures_ = 0;
  Clock::time_point nextConnect_;
  Clock::time_point nextLink_;

  std::uint64_t lastNumber_ = 0;
  std::deque<Pending> waiting_;  // not sent yet
  // Sent, no outcome yet: the message's id by delivery tag (the body is
  // Proton's to keep until the broker settles it).
  std::map<std::uint64_t, std::string> inFlight_;
  std::mt19937 random_;
};

}  // namespace tarnwick
