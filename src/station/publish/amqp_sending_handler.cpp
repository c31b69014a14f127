#include "station/publish/amqp_sending_handler.h"

#include <proton/delivery.h>
#include <proton/disposition.h>

#include <exception>
#include <proton/binary.hpp>
#include <proton/connection_options.hpp>
#include <proton/container.hpp>
#include <proton/delivery_mode.hpp>
#include <proton/duration.hpp>
#include <proton/error_condition.hpp>
#include <proton/message.hpp>
#include <proton/receiver.hpp>
#include <proton/receiver_options.hpp>
#include <proton/sender_options.hpp>
#include <proton/session.hpp>
#include <proton/ssl.hpp>
#include <proton/tracker.hpp>
#include <proton/transport.hpp>
#include <proton/work_queue.hpp>
#include <stdexcept>
#include <utility>

#include "platform/tls_files.h"
#include "station/publish/amqp_message.h"
#include "station/publish/broker_tls.h"
#include "station/publish/publish_policy.h"

namespace tarnwick {
namespace {

constexpr int kTickMs = 100;
constexpr int kIdleTimeoutMs = 20000;  // a silent broker counts as gone after this

// Each delivery is tagged with the message's number, 8 bytes little-endian,
// to find it again when the broker settles it.
proton::binary tagOf(std::uint64_t number) {
  proton::binary tag(8, 0);
  for (int i = 0; i < 8; ++i) tag[i] = static_cast<std::uint8_t>(number >> (8 * i));
  return tag;
}

std::uint64_t numberOf(const proton::binary& tag) {
  if (tag.size() != 8) return 0;
  std::uint64_t number = 0;
  for (int i = 7; i >= 0; --i) number = number << 8 | tag[i];
  return number;
}

// The condition the broker gave with a rejected outcome, if any. The C++
// tracker does not expose the remote disposition, so the delivery it wraps
// is read through the C API.
struct TrackerDelivery : proton::tracker {
  explicit TrackerDelivery(const proton::tracker& tracker) : proton::tracker(tracker) {}
  std::string rejection() const {
    pn_condition_t* condition = pn_disposition_condition(pn_delivery_remote(pn_object()));
    if (condition == nullptr || !pn_condition_is_set(condition)) return "rejected by the broker";
    const char* description = pn_condition_get_description(condition);
    return std::string("rejected by the broker: ") + pn_condition_get_name(condition) +
           (description != nullptr ? std::string(": ") + description : "");
  }
};

// The TLS settings of a connection: a client domain of its own that checks
// the broker's certificate and host name, against the CA file given or the
// system's trusted roots, and presents the client's certificate when one is
// given. Proton's own default domain (what a default-constructed
// ssl_client_options gets) is made inside the connection set-up, and on
// Windows it is null when the user's store of trusted roots cannot be
// opened (a fresh Wine prefix has none): the SChannel layer then locks
// through that null domain and the process dies. Made here, the same
// failure is an exception at construction, said as an error of this
// connection attempt. The files the TLS library reads (Windows: PKCS#12
// made from the PEM files) are read while the options are made, and go
// with `library` when it ends.
proton::ssl_client_options tlsClientOptions(const TlsFiles& files) {
  TlsLibraryFiles library;
  std::string error;
  const bool prepared = prepareTlsLibraryFiles(files, library, error);
  try {
    if (!prepared) throw std::runtime_error(error);
    if (!library.certificate.empty()) {
      const proton::ssl_certificate certificate =
          library.password.empty()
              ? proton::ssl_certificate(library.certificate, library.key)
              : proton::ssl_certificate(library.certificate, library.key, library.password);
      proton::ssl_client_options options(certificate, library.trustDb,
                                         proton::ssl::VERIFY_PEER_NAME);
      removeTlsLibraryFiles(library);
      return options;
    }
    proton::ssl_client_options options =
        library.trustDb.empty()
            ? proton::ssl_client_options(proton::ssl::VERIFY_PEER_NAME)
            : proton::ssl_client_options(library.trustDb, proton::ssl::VERIFY_PEER_NAME);
    removeTlsLibraryFiles(library);
    return options;
  } catch (const std::exception& failure) {
    removeTlsLibraryFiles(library);
    // Proton's text names the password that opens the certificate file:
    // it is taken out.
    std::string what = prepared ? failure.what() : error;
    for (std::size_t at;
         !library.password.empty() && (at = what.find(library.password)) != std::string::npos;)
      what.replace(at, library.password.size(), "****");
    throw std::runtime_error("cannot set up TLS: " + what +
                             " (the TLS library, the store of trusted root certificates or the"
                             " TLS files could not be opened)");
  }
}

std::string seconds(int ms) {
  return std::to_string(ms / 1000) + " s";
}

}  // namespace

AmqpSendingHandler::AmqpSendingHandler(const std::vector<BrokerAddress>& brokers,
                                       const PublisherSettings& settings, PublishCallback onResult,
                                       TakeInbox takeInbox, Shared* shared)
    : brokers_(brokers),
      settings_(settings),
      onResult_(std::move(onResult)),
      takeInbox_(std::move(takeInbox)),
      shared_(shared),
      random_(std::random_device{}()) {}

void AmqpSendingHandler::on_container_start(proton::container& container) {
  container_ = &container;
  if (shared_->stopping) return;
  connect();
  tick();
}

void AmqpSendingHandler::tick() {
  if (shared_->stopping) return;
  wake();
  expireOverdue();
  const Clock::time_point now = Clock::now();
  if (!connecting_ && now >= nextConnect_) {
    connect();
  } else if (opened_ && link_ == Link::None && !waiting_.empty() && now >= nextLink_) {
    openLink();
  }
  container_->schedule(proton::duration(kTickMs), [this] { tick(); });
}

void AmqpSendingHandler::wake() {
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(settings_.outcomeTimeoutMs);
  for (OutgoingMessage& message : takeInbox_()) {
    waiting_.push_back(Pending{++lastNumber_, std::move(message), deadline});
  }
  // This runs from the container's timers, outside the connection's own
  // events: the proactor writes what was sent only once the connection
  // has an event of its own, so it is woken for one (else the messages
  // wait for the next idle-timeout frame, seconds later).
  if (sendWaiting() && connection_) connection_.wake();
}

void AmqpSendingHandler::connect() {
  problem_.clear();
  opened_ = false;
  shared_->broker = current_;
  const BrokerAddress& address = brokers_[current_];
  proton::connection_options options;
  options.idle_timeout(proton::duration(kIdleTimeoutMs));
  if (!address.tlsFiles.certFile.empty() && address.password.empty()) {
    // A client certificate and no password: the certificate is the login
    // (SASL EXTERNAL; RabbitMQ takes the user from its name).
    options.sasl_allowed_mechs("EXTERNAL");
  } else if (!address.user.empty()) {
    // With credentials, PLAIN and nothing else: a broker that also offers
    // ANONYMOUS must not let the station in as some default user.
    options.user(address.user).password(address.password).sasl_allowed_mechs("PLAIN");
  }
  // PLAIN sends the password in the clear: over TLS that is fine, and over
  // plain TCP the address asked for it.
  options.sasl_allow_insecure_mechs(!address.tls);
  try {
    if (address.tls) options.ssl_client_options(tlsClientOptions(address.tlsFiles));
    connection_ = container_->connect(brokerConnectUrl(address), options);
    connecting_ = true;
  } catch (const std::exception& error) {
    problem_ = error.what();
    connectionLost();
  }
}

// A session of its own each time: RabbitMQ ends the session when it
// refuses an address, and the connection's default session stays ended.
// The receiver asks for nothing (no credit): it only proves the address is
// there before anything is sent to it.
void AmqpSendingHandler::openLink() {
  problem_.clear();
  problemName_.clear();
  try {
    proton::session session = connection_.open_session();
    session.open_receiver(brokers_[current_].target, proton::receiver_options().credit_window(0));
    link_ = Link::Checking;
  } catch (const std::exception& error) {
    problem_ = error.what();
    link_ = Link::Checking;
    linkLost();
  }
}

void AmqpSendingHandler::on_receiver_open(proton::receiver& receiver) {
  if (link_ != Link::Checking) return;
  try {
    proton::session session = receiver.session();
    receiver.close();
    sender_ = session.open_sender(
        brokers_[current_].target,
        proton::sender_options().delivery_mode(proton::delivery_mode::AT_LEAST_ONCE));
    link_ = Link::Attaching;
  } catch (const std::exception& error) {
    problem_ = error.what();
    linkLost();
  }
}

void AmqpSendingHandler::on_receiver_error(proton::receiver& receiver) {
  noteProblem(receiver.error());
}

// The check's own close, once the address proved there, is no loss.
void AmqpSendingHandler::on_receiver_close(proton::receiver&) {
  if (link_ == Link::Checking) linkLost();
}

void AmqpSendingHandler::noteProblem(const proton::error_condition& condition) {
  problem_ = condition.what();
  problemName_ = condition.name();
}

bool AmqpSendingHandler::sendWaiting() {
  bool sent = false;
  while (link_ == Link::Open && !waiting_.empty() && sender_.credit() > 0) {
    Pending pending = std::move(waiting_.front());
    waiting_.pop_front();
    try {
      sender_.send(protonMessage(pending.message), tagOf(pending.number));
    } catch (const std::exception& error) {
      report(pending.message.messageId, PublishOutcome::Retry,
             std::string("cannot send: ") + error.what());
      continue;
    }
    inFlight_.emplace(pending.number, std::move(pending.message.messageId));
    sent = true;
  }
  return sent;
}

void AmqpSendingHandler::on_connection_open(proton::connection&) {
  opened_ = true;
  connectFailures_ = 0;
  openLink();
}

void AmqpSendingHandler::on_connection_error(proton::connection& connection) {
  problem_ = connection.error().what();
}

void AmqpSendingHandler::on_transport_error(proton::transport& transport) {
  const BrokerAddress& address = brokers_[current_];
  if (problem_.empty())
    problem_ = tlsFailureText(transport.error().what(), address.host, address.tlsFiles);
}

void AmqpSendingHandler::on_transport_close(proton::transport&) {
  connectionLost();
}

void AmqpSendingHandler::connectionLost() {
  const bool wasOpen = opened_;
  connecting_ = opened_ = refused_ = false;
  link_ = Link::None;
  shared_->linkOpen = false;
  connection_ = proton::connection();
  sender_ = proton::sender();
  const std::string what = problem_.empty() ? "closed" : problem_;
  ++connectFailures_;
  lastProblem_ = shared_->stopping ? "the publisher stopped"
                 : wasOpen         ? "connection to the broker" + brokerName() + " lost: " + what
                                   : connectFailure(what);
  failAll(PublishOutcome::Retry, lastProblem_);
  // Round the list of a cluster's brokers: the next is tried after the wait.
  current_ = (current_ + 1) % brokers_.size();
  nextConnect_ = Clock::now() + std::chrono::milliseconds(nextDelayMs(connectFailures_));
}

// " HOST:PORT" when there is more than one broker to tell apart.
std::string AmqpSendingHandler::brokerName() const {
  if (brokers_.size() < 2) return "";
  return " " + brokerConnectUrl(brokers_[current_]);
}

// Only when every broker of the list has failed in a row is no broker
// reachable ("cannot connect to the broker..."): before that, the next one
// may still answer.
std::string AmqpSendingHandler::connectFailure(const std::string& what) const {
  if (brokers_.size() < 2) return "cannot connect to the broker: " + what;
  if (connectFailures_ % static_cast<int>(brokers_.size()) != 0) {
    return "broker" + brokerName() + " cannot be reached, the next is tried: " + what;
  }
  return "cannot connect to the brokers (" + std::to_string(brokers_.size()) + " tried; the last," +
         brokerName() + ": " + what + ")";
}

void AmqpSendingHandler::on_session_error(proton::session& session) {
  noteProblem(session.error());
}

void AmqpSendingHandler::on_session_close(proton::session&) {
  linkLost();
}

void AmqpSendingHandler::on_sender_open(proton::sender&) {
  link_ = Link::Open;
  refused_ = false;
  shared_->linkOpen = true;
  linkFailures_ = 0;
  sendWaiting();
}

void AmqpSendingHandler::on_sender_error(proton::sender& sender) {
  noteProblem(sender.error());
}

void AmqpSendingHandler::on_sender_close(proton::sender&) {
  linkLost();
}

void AmqpSendingHandler::on_sendable(proton::sender&) {
  sendWaiting();
}

// A refused address is a mistake in the setup: what waits is reported
// AddressRefused, kept by the sender, and the link is tried again after a
// growing wait, in case the address is mended on the broker's side.
void AmqpSendingHandler::linkLost() {
  if (link_ == Link::None) return;  // already counted
  link_ = Link::None;
  shared_->linkOpen = false;
  sender_ = proton::sender();
  refused_ = refusesAddress(problemName_);
  const std::string what = problem_.empty() ? "closed" : problem_;
  const std::string& target = brokers_[current_].target;
  lastProblem_ = problemName_ == "amqp:not-found" ? missingAddressText(target)
                 : refused_ ? "the broker refuses the address " + target + ": " + what
                            : "link to the broker lost: " + what;
  failAll(refused_ ? PublishOutcome::AddressRefused : PublishOutcome::Retry, lastProblem_);
  nextLink_ = Clock::now() + std::chrono::milliseconds(nextDelayMs(++linkFailures_));
}

void AmqpSendingHandler::on_tracker_accept(proton::tracker& tracker) {
  finish(numberOf(tracker.tag()), PublishOutcome::Accepted, "");
}

void AmqpSendingHandler::on_tracker_reject(proton::tracker& tracker) {
  finish(numberOf(tracker.tag()), PublishOutcome::Rejected, TrackerDelivery(tracker).rejection());
}

// Proton reports `modified` as released too: either way the broker did not
// take the message.
void AmqpSendingHandler::on_tracker_release(proton::tracker& tracker) {
  finish(numberOf(tracker.tag()), PublishOutcome::Retry, "released by the broker");
}

// Errors Proton has no more specific handler for; the default would throw.
void AmqpSendingHandler::on_error(const proton::error_condition& condition) {
  noteProblem(condition);
}

// Messages that found no link with credit in time. Those on the link are
// not timed: their outcome comes, or the link drops.
void AmqpSendingHandler::expireOverdue() {
  const Clock::time_point now = Clock::now();
  const std::string why = link_ == Link::Open    ? "the broker gave no credit"
                          : lastProblem_.empty() ? "no link to the broker yet"
                                                 : lastProblem_;
  // While the address is refused, the refusal itself is the reason: the
  // same words each time, so that it is said once.
  while (!waiting_.empty() && waiting_.front().deadline <= now) {
    report(waiting_.front().message.messageId,
           refused_ ? PublishOutcome::AddressRefused : PublishOutcome::Retry,
           refused_ ? lastProblem_
                    : "not sent within " + seconds(settings_.outcomeTimeoutMs) + ": " + why);
    waiting_.pop_front();
  }
}

void AmqpSendingHandler::finish(std::uint64_t number, PublishOutcome outcome,
                                const std::string& reason) {
  auto it = inFlight_.find(number);
  if (it == inFlight_.end()) return;  // not this connection's
  const std::string messageId = std::move(it->second);
  inFlight_.erase(it);
  report(messageId, outcome, reason);
}

void AmqpSendingHandler::failAll(PublishOutcome outcome, const std::string& reason) {
  std::map<std::uint64_t, std::string> inFlight = std::move(inFlight_);
  std::deque<Pending> waiting = std::move(waiting_);
  inFlight_.clear();
  waiting_.clear();
  for (const auto& entry : inFlight) report(entry.second, outcome, reason);
  for (const Pending& pending : waiting) report(pending.message.messageId, outcome, reason);
}

void AmqpSendingHandler::abandonAll(const std::string& reason) {
  const Clock::time_point now = Clock::now();
  for (OutgoingMessage& message : takeInbox_()) {
    waiting_.push_back(Pending{++lastNumber_, std::move(message), now});
  }
  failAll(PublishOutcome::Retry, reason);
}

void AmqpSendingHandler::report(const std::string& messageId, PublishOutcome outcome,
                                const std::string& reason) {
  onResult_(PublishResult{messageId, outcome, reason});
}

int AmqpSendingHandler::nextDelayMs(int failures) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  return reconnectDelayMs(failures, unit(random_), settings_.firstReconnectDelayMs,
                          settings_.maxReconnectDelayMs);
}

}  // namespace tarnwick
