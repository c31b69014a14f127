#include "station/requests/request_listener.h"

#include <proton/delivery.h>
#include <proton/disposition.h>

#include <chrono>
#include <exception>
#include <future>
#include <map>
#include <proton/connection.hpp>
#include <proton/connection_options.hpp>
#include <proton/container.hpp>
#include <proton/delivery.hpp>
#include <proton/error_condition.hpp>
#include <proton/listen_handler.hpp>
#include <proton/listener.hpp>
#include <proton/message.hpp>
#include <proton/messaging_handler.hpp>
#include <proton/receiver.hpp>
#include <proton/receiver_options.hpp>
#include <proton/sender.hpp>
#include <proton/sender_options.hpp>
#include <proton/source_options.hpp>
#include <proton/target.hpp>
#include <proton/target_options.hpp>
#include <thread>
#include <vector>

#include "platform/random_uuid.h"
#include "station/cfx/cfx_envelope.h"
#include "station/publish/amqp_message.h"
#include "station/requests/cfx_body.h"

namespace tarnwick {
namespace {

constexpr auto kBindWait = std::chrono::seconds(5);

// A delivery refused with an AMQP error condition, which the C++ delivery
// cannot set: its local disposition is reached through the C API.
struct RefusableDelivery : proton::delivery {
  explicit RefusableDelivery(const proton::delivery& delivery) : proton::delivery(delivery) {}
  void refuse(const char* name, const std::string& description) {
    pn_condition_t* condition = pn_disposition_condition(pn_delivery_local(pn_object()));
    pn_condition_set_name(condition, name);
    pn_condition_set_description(condition, description.c_str());
    reject();
  }
};

// The AMQP message around an answer's envelope, with the properties the
// SDK sets.
proton::message answerMessage(const std::string& answer, const std::string& handle) {
  const nlohmann::json envelope = nlohmann::json::parse(answer);
  const auto text = [&envelope](const char* key) {
    return envelope[key].is_string() ? envelope[key].get<std::string>() : std::string();
  };
  CfxMessage message;
  message.body = answer;
  cfxMessageFields(
      text("MessageName"),
      CfxEnvelope{handle, text("TimeStamp"), text("UniqueID"), text("Target"), text("RequestID")},
      message);
  return protonMessage(outgoingOf(message));
}

class AnsweringHandler final : public proton::messaging_handler {
 public:
  explicit AnsweringHandler(const RequestListenerSettings& settings) : settings_(settings) {}

  // A requester's link for its requests: only to the station's handle.
  void on_receiver_open(proton::receiver& receiver) override {
    if (receiver.target().address() == settings_.station.handle) {
      proton::target_options node;
      node.address(settings_.station.handle);
      receiver.open(proton::receiver_options().target(node));
      return;
    }
    receiver.close(proton::error_condition(
        "amqp:not-found", "this station's request node is " + settings_.station.handle));
  }

  // A requester's reply link: answers go on the one whose target is the
  // request's reply-to.
  void on_sender_open(proton::sender& sender) override {
    proton::source_options node;
    node.address(settings_.station.handle);
    proton::target_options reply;
    reply.address(sender.target().address());
    sender.open(proton::sender_options().source(node).target(reply));
    replies_.push_back(sender);
  }
  void on_sender_close(proton::sender& sender) override { forget(sender); }
  void on_sendable(proton::sender& sender) override { flush(sender); }

  void on_message(proton::delivery& delivery, proton::message& message) override {
    RefusableDelivery request(delivery);
    std::vector<nlohmann::json> envelopes;
    std::string why;
    if (!readCfxBody(bodyText(message), message.content_encoding() == "gzip", envelopes, why)) {
      return request.refuse("amqp:decode-error", why);
    }
    proton::sender* reply = replyLink(message.reply_to());
    if (reply == nullptr) {
      return request.refuse("amqp:not-found", "no link to the reply address " + message.reply_to());
    }
    const CfxStationFacts facts = settings_.facts ? settings_.facts() : CfxStationFacts{};
    std::vector<std::string> answers;
    for (const nlohmann::json& envelope : envelopes) {
      std::string answer;
      if (!answerCfxRequest(envelope, settings_.station, facts, cfxNow(), randomUuid, answer,
                            why)) {
        return request.refuse("amqp:decode-error", why);
      }
      answers.push_back(answer);
    }
    request.accept();
    for (const std::string& answer : answers) {
      waiting_[reply->name()].push_back(answerMessage(answer, settings_.station.handle));
    }
    flush(*reply);
  }

  void on_error(const proton::error_condition&) override {}
  void on_transport_error(proton::transport&) override {}

 private:
  proton::sender* replyLink(const std::string& address) {
    for (proton::sender& sender : replies_) {
      if (sender.target().address() == address && sender.active()) return &sender;
    }
    return nullptr;
  }

  void forget(const proton::sender& sender) {
    for (auto it = replies_.begin(); it != replies_.end(); ++it) {
      if (*it == sender) {
        waiting_.erase(it->name());
        replies_.erase(it);
        return;
      }
    }
  }

  // Answers go out as the requester gives credit.
  void flush(proton::sender& sender) {
    auto found = waiting_.find(sender.name());
    if (found == waiting_.end()) return;
    std::vector<proton::message>& queue = found->second;
    while (!queue.empty() && sender.credit() > 0) {
      sender.send(queue.front());
      queue.erase(queue.begin());
    }
  }

  const RequestListenerSettings& settings_;
  std::vector<proton::sender> replies_;
  std::map<std::string, std::vector<proton::message>> waiting_;
};

// Says when the listener is bound or could not be.
class BindWatch final : public proton::listen_handler {
 public:
  std::promise<std::string> bound;  // empty text: bound

  proton::connection_options on_accept(proton::listener&) override {
    proton::connection_options options;
    options.sasl_allowed_mechs("ANONYMOUS").sasl_allow_insecure_mechs(true);
    return options;
  }
  void on_open(proton::listener&) override { settle(""); }
  void on_error(proton::listener&, const std::string& what) override {
    settle(what.empty() ? "it cannot listen there" : what);
  }

 private:
  void settle(const std::string& text) {
    if (settled_) return;
    settled_ = true;
    bound.set_value(text);
  }
  bool settled_ = false;
};

}  // namespace

struct RequestListener::Running {
  explicit Running(const RequestListenerSettings& settings) : handler(settings) {}
  AnsweringHandler handler;
  BindWatch bindWatch;
  std::unique_ptr<proton::container> container;
  std::thread thread;
};

RequestListener::RequestListener(RequestListenerSettings settings)
    : settings_(std::move(settings)) {}

RequestListener::~RequestListener() {
  stop();
}

bool RequestListener::start(std::string& why) {
  auto running = std::make_unique<Running>(settings_);
  std::future<std::string> bound = running->bindWatch.bound.get_future();
  const std::string where = settings_.bind.host + ":" + std::to_string(settings_.bind.port);
  try {
    running->container = std::make_unique<proton::container>(running->handler);
    running->container->listen(where, running->bindWatch);
    Running* raw = running.get();
    running->thread = std::thread([raw] {
      try {
        raw->container->run();
      } catch (const std::exception&) {
        // The listener is gone; the flashing goes on without it.
      }
    });
  } catch (const std::exception& error) {
    why = "cannot listen on " + where + ": " + error.what();
    return false;
  }
  running_ = std::move(running);
  if (bound.wait_for(kBindWait) != std::future_status::ready) {
    why = "cannot listen on " + where + ": not bound within 5 s";
    stop();
    return false;
  }
  const std::string error = bound.get();
  if (error.empty()) return true;
  why = "cannot listen on " + where + ": " + error;
  stop();
  return false;
}

void RequestListener::stop() {
  if (!running_) return;
  running_->container->stop();
  if (running_->thread.joinable()) running_->thread.join();
  running_.reset();
}

}  // namespace tarnwick
