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
// once. A tick every 100 ms takes messages from the inbox, ends the waits
// that ran out and connects again when the wait after a failure is over;
// it stops rearming itself once the publisher stops, so the container's
// run() can end.
class AmqpSendingHandler : public proton::messaging_handler {
 public:
  using TakeInbox = std::function<std::vector<OutgoingMessage>()>;

  struct Shared {
    std::atomic<bool> stopping{false};
    std::atomic<bool> linkOpen{false};
  };

  AmqpSendingHandler(const BrokerAddress& address, const PublisherSettings& settings,
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
    Clock::time_point deadline;
  };

  void tick();
  void connect();
  void openSender();
  bool sendWaiting();  // true when it sent any
  void connectionLost();
  void linkLost(const std::string& reason, bool refused);
  void expireOverdue();
  void finish(std::uint64_t number, PublishOutcome outcome, const std::string& reason);
  void failAll(PublishOutcome outcome, const std::string& reason);
  void report(const Pending& pending, PublishOutcome outcome, const std::string& reason);
  int nextDelayMs(int failures);

  BrokerAddress address_;
  PublisherSettings settings_;
  PublishCallback onResult_;
  TakeInbox takeInbox_;
  Shared* shared_;
  proton::container* container_ = nullptr;

  proton::connection connection_;
  proton::sender sender_;
  bool connecting_ = false;  // a connection exists, open or on its way
  bool opened_ = false;      // ... and the broker has opened it
  bool senderOpening_ = false;
  bool senderOpen_ = false;
  std::string problem_;      // the broker's or Proton's error text on this connection
  std::string lastProblem_;  // why the last connection or link ended, for expiry reports
  bool refused_ = false;     // the broker refuses the address
  int connectFailures_ = 0;
  int linkFailures_ = 0;
  Clock::time_point nextConnect_;
  Clock::time_point nextLink_;

  std::uint64_t lastNumber_ = 0;
  std::deque<Pending> waiting_;                // not sent yet
  std::map<std::uint64_t, Pending> inFlight_;  // sent, no outcome yet (by delivery tag)
  std::mt19937 random_;
};

}  // namespace tarnwick
