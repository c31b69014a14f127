#include "station/requests/cfx_requester.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <proton/connection.hpp>
#include <proton/connection_options.hpp>
#include <proton/container.hpp>
#include <proton/delivery.hpp>
#include <proton/duration.hpp>
#include <proton/error_condition.hpp>
#include <proton/message.hpp>
#include <proton/messaging_handler.hpp>
#include <proton/receiver.hpp>
#include <proton/receiver_options.hpp>
#include <proton/sender.hpp>
#include <proton/target_options.hpp>
#include <proton/tracker.hpp>
#include <proton/transport.hpp>
#include <proton/work_queue.hpp>
#include <thread>

#include "platform/random_uuid.h"
#include "station/publish/amqp_message.h"
#include "station/requests/cfx_body.h"

namespace tarnwick {
namespace {

using Outcome = CfxExchange::Outcome;

std::string conditionText(const proton::error_condition& condition, const char* otherwise) {
  if (!condition) return otherwise;
  std::string text = condition.name();
  if (!condition.description().empty()) text += ": " + condition.description();
  return text;
}

// The message as the SDK sends a request: a Data section of UTF-8 JSON with
// the CFX properties beside it, the answer asked for at `replyAddress`.
proton::message requestMessage(const CfxOutgoingRequest& request, const std::string& target,
                               const std::string& replyAddress) {
  CfxMessage message;
  message.body = request.body;
  cfxMessageFields(request.messageName,
                   CfxEnvelope{request.handle, "", request.uniqueId, target, request.requestId},
                   message);
  OutgoingMessage outgoing = outgoingOf(message);
  outgoing.replyTo = replyAddress;
  return protonMessage(outgoing);
}

// One exchange on a container of its own: connect, attach the reply link,
// then the request link; send once both are up; end at the answer, an error
// or the time limit.
class ExchangeHandler final : public proton::messaging_handler {
 public:
  ExchangeHandler(const CfxEndpoint& endpoint, const CfxOutgoingRequest& request, int timeoutMs)
      : endpoint_(endpoint),
        request_(request),
        timeoutMs_(timeoutMs),
        replyAddress_(request.handle + "-" + randomUuid()) {}

  // The exchange once the container has stopped: without an outcome by
  // then the wait ran out.
  CfxExchange result() const {
    if (done_) return result_;
    CfxExchange late;
    late.outcome = connected_ ? Outcome::TimedOut : Outcome::Unreachable;
    late.why = (connected_ ? "no answer within " : "no connection within ") +
               std::to_string(timeoutMs_ / 1000) + " s";
    return late;
  }

  void on_container_start(proton::container& container) override {
    const BrokerAddress& address = endpoint_.address;
    proton::connection_options options;
    if (!address.user.empty()) {
      options.user(address.user).password(address.password).sasl_allowed_mechs("PLAIN");
    }
    options.sasl_allow_insecure_mechs(!address.tls);
    try {
      connection_ = container.connect(brokerConnectUrl(address), options);
    } catch (const std::exception& error) {
      finish(Outcome::Unreachable, error.what());
      container.stop();
    }
  }

  void on_connection_open(proton::connection& connection) override {
    connected_ = true;
    proton::target_options target;
    target.address(replyAddress_);
    connection.open_receiver(endpoint_.handle, proton::receiver_options().target(target));
    sender_ = connection.open_sender(endpoint_.handle);
  }

  void on_receiver_open(proton::receiver&) override {
    replyLinkOpen_ = true;
    sendWhenReady();
  }
  void on_sendable(proton::sender&) override { sendWhenReady(); }

  void on_message(proton::delivery& delivery, proton::message& message) override {
    std::vector<nlohmann::json> envelopes;
    std::string why;
    if (!readCfxBody(bodyText(message), message.content_encoding() == "gzip", envelopes, why)) {
      delivery.reject();
      return finish(Outcome::Unreadable, why);
    }
    delivery.accept();
    for (const nlohmann::json& envelope : envelopes) {
      const auto id = envelope.find("RequestID");
      if (id != envelope.end() && id->is_string() && *id == request_.requestId) {
        result_.envelopes = std::move(envelopes);
        return finish(Outcome::Answered, "");
      }
    }
  }

  void on_tracker_reject(proton::tracker& tracker) override {
    finish(Outcome::Unreadable, "the request was rejected");
    (void)tracker;
  }
  void on_transport_error(proton::transport& transport) override {
    finish(Outcome::Unreachable, conditionText(transport.error(), "the connection failed"));
  }
  void on_connection_error(proton::connection& connection) override {
    finish(Outcome::Unreachable, conditionText(connection.error(), "the connection was refused"));
  }
  void on_receiver_error(proton::receiver& receiver) override {
    finish(Outcome::Unreachable,
           "the reply link was refused: " + conditionText(receiver.error(), "no reason given"));
  }
  void on_sender_error(proton::sender& sender) override {
    finish(Outcome::Unreachable,
           "the request link was refused: " + conditionText(sender.error(), "no reason given"));
  }
  void on_error(const proton::error_condition& condition) override {
    finish(Outcome::Unreachable, conditionText(condition, "error"));
  }

 private:
  void sendWhenReady() {
    if (sent_ || done_ || !replyLinkOpen_ || !sender_ || sender_.credit() <= 0) return;
    sender_.send(requestMessage(request_, endpoint_.handle, replyAddress_));
    sent_ = true;
  }

  // The first outcome stands; the connection closes and the container
  // stops, pending timer or not.
  void finish(Outcome outcome, const std::string& why) {
    if (done_) return;
    done_ = true;
    result_.outcome = outcome;
    result_.why = why;
    if (connection_ && connection_.active()) connection_.close();
    if (connection_) connection_.container().stop();
  }

  const CfxEndpoint& endpoint_;
  const CfxOutgoingRequest& request_;
  int timeoutMs_;
  std::string replyAddress_;
  proton::connection connection_;
  proton::sender sender_;
  bool connected_ = false;
  bool replyLinkOpen_ = false;
  bool sent_ = false;
  bool done_ = false;
  CfxExchange result_;
};

}  // namespace

// The time limit is kept by a watchdog thread, not a container timer: a
// pending timer keeps the container running until it fires, after the
// answer has come.
CfxExchange exchangeCfxRequest(const CfxEndpoint& endpoint, const CfxOutgoingRequest& request,
                               int timeoutMs) {
  ExchangeHandler handler(endpoint, request, timeoutMs);
  try {
    proton::container container(handler);
    std::mutex lock;
    std::condition_variable ended;
    bool running = true;
    std::thread watchdog([&] {
      std::unique_lock<std::mutex> hold(lock);
      if (!ended.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return !running; }))
        container.stop();
    });
    try {
      container.run();
    } catch (...) {
      std::lock_guard<std::mutex> hold(lock);
      running = false;
      ended.notify_all();
      watchdog.join();
      throw;
    }
    {
      std::lock_guard<std::mutex> hold(lock);
      running = false;
    }
    ended.notify_all();
    watchdog.join();
  } catch (const std::exception& error) {
    CfxExchange failed;
    failed.outcome = Outcome::Unreachable;
    failed.why = std::string("the AMQP client failed: ") + error.what();
    return failed;
  }
  return handler.result();
}

}  // namespace tarnwick
