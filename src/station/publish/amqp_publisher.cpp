#include "station/publish/amqp_publisher.h"

#include <exception>
#include <mutex>
#include <proton/container.hpp>
#include <proton/duration.hpp>
#include <proton/work_queue.hpp>
#include <thread>

#include "station/publish/amqp_sending_handler.h"

namespace tarnwick {

// What exists while the publisher runs. The handler outlives the container
// that calls it; `accepting` (under `mutex`) turns false before the
// container stops, so no message is handed over that nobody will report.
struct AmqpPublisher::Running {
  AmqpSendingHandler::Shared shared;
  std::mutex mutex;
  std::vector<OutgoingMessage> inbox;
  bool accepting = true;
  std::unique_ptr<AmqpSendingHandler> handler;
  std::unique_ptr<proton::container> container;
  std::thread thread;

  std::vector<OutgoingMessage> takeInbox() {
    std::lock_guard<std::mutex> lock(mutex);
    return std::move(inbox);
  }

  // The publisher thread. Should run() end by itself (an error inside
  // Proton), the publisher takes no more messages and reports the rest.
  void runContainer() {
    std::string reason = "the publisher stopped";
    try {
      container->run();
    } catch (const std::exception& error) {
      reason = std::string("the AMQP client stopped: ") + error.what();
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      accepting = false;
    }
    handler->abandonAll(reason);
  }
};

AmqpPublisher::AmqpPublisher(std::vector<BrokerAddress> brokers, PublishCallback onResult,
                             PublisherSettings settings)
    : brokers_(std::move(brokers)), onResult_(std::move(onResult)), settings_(settings) {}

AmqpPublisher::AmqpPublisher(BrokerAddress address, PublishCallback onResult,
                             PublisherSettings settings)
    : AmqpPublisher(std::vector<BrokerAddress>{std::move(address)}, std::move(onResult), settings) {
}

AmqpPublisher::~AmqpPublisher() {
  stop();
}

bool AmqpPublisher::start(std::string* error) {
  if (running_) {
    *error = "the publisher is running already";
    return false;
  }
  if (brokers_.empty()) {
    *error = "no broker to publish to";
    return false;
  }
  auto running = std::make_unique<Running>();
  Running* raw = running.get();
  running->handler = std::make_unique<AmqpSendingHandler>(
      brokers_, settings_, onResult_, [raw] { return raw->takeInbox(); }, &raw->shared);
  try {
    running->container = std::make_unique<proton::container>(*running->handler);
    running->thread = std::thread([raw] { raw->runContainer(); });
  } catch (const std::exception& failure) {
    *error = std::string("cannot start the AMQP client: ") + failure.what();
    return false;
  }
  running_ = std::move(running);
  return true;
}

bool AmqpPublisher::submit(OutgoingMessage message) {
  if (!running_) return false;
  std::lock_guard<std::mutex> lock(running_->mutex);
  if (!running_->accepting) return false;
  running_->inbox.push_back(std::move(message));
  // Wake the publisher thread now rather than at its next tick.
  AmqpSendingHandler* handler = running_->handler.get();
  try {
    running_->container->schedule(proton::duration::IMMEDIATE, [handler] { handler->wake(); });
  } catch (const std::exception&) {
    // The tick takes it from the inbox within 100 ms all the same.
  }
  return true;
}

void AmqpPublisher::stop() {
  if (!running_) return;
  {
    std::lock_guard<std::mutex> lock(running_->mutex);
    running_->accepting = false;
  }
  running_->shared.stopping = true;
  running_->container->stop();
  if (running_->thread.joinable()) running_->thread.join();
  running_.reset();
}

bool AmqpPublisher::linkOpen() const {
  return running_ && running_->shared.linkOpen;
}

std::size_t AmqpPublisher::brokerInUse() const {
  return running_ ? running_->shared.broker.load() : 0;
}

}  // namespace tarnwick
