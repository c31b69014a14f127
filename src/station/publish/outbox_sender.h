#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "station/cfx/cfx_endpoint.h"
#include "station/publish/amqp_publisher.h"
#include "station/publish/broker_address.h"
#include "station/publish/outbox.h"

namespace tarnwick {

// What the sender tells its user about the outbox, from the sender's thread.
struct OutboxNotice {
  enum class Kind {
    State,     // `pending` results wait; the oldest was put at `oldestCreated` (empty: none wait)
    Rejected,  // the broker refused `uniqueId` for good (`error`): it is in rejected/ now
    Blocked,   // nothing can be sent until `error` is mended (the broker lacks or refuses
               // the address, or another program sends this outbox): every result waits
  };
  Kind kind = Kind::State;
  std::size_t pending = 0;
  std::string oldestCreated;
  std::size_t broker = 0;  // State: which of the brokers is connected to, or being tried
  std::string uniqueId;
  std::string error;  // never holds the password
};
using OutboxNotices = std::function<void(const OutboxNotice&)>;

struct OutboxSenderSettings {
  PublisherSettings publisher;
  // Who this sender is, for another that finds the outbox's lock taken
  // ("tarnwick-station watch").
  std::string holder = "tarnwick-station";
  // While this is more than 0, a CFX.Heartbeat of `heartbeatHandle` goes to
  // the broker this often (and once at the start), sent directly and never
  // put in the outbox: a heartbeat that cannot be sent is simply dropped.
  int heartbeatSeconds = 0;
  std::string heartbeatHandle;
  // Fills in what each heartbeat says beside its handle and frequency (the
  // active faults and recipes); called on the sender's thread. None: null.
  std::function<void(CfxHeartbeat&)> heartbeatContent;
};

// Sends the outbox's results to the broker on one thread of its own and
// one long-lived connection (the publisher's): results already waiting
// first, oldest first, each until the broker settles it `accepted` (then
// its file is removed) or rejects that delivery (then it moves to rejected/
// and a Rejected notice says so). A result without an outcome (released,
// modified, the connection lost, the address refused) is sent again later
// with the same id, and its file counts the attempt; a delivery still
// unsettled on an open link is never sent again beside itself, but stops
// holding up the others once its outcome is overdue. Nothing is ever
// dropped. One sender at a time sends a folder: it holds the outbox's lock
// file, and a second one waits for it (a Blocked notice says who holds it).
// The user puts results into the outbox itself and calls `wake`; it never
// waits for the broker unless it calls `drain`. Per result the work does
// not grow with what waits: results are known by id, and their bodies are
// read from their files only when they are sent.
class OutboxSender {
 public:
  // `brokers`: one per node of a cluster, tried in turn (the publisher's).
  OutboxSender(Outbox& outbox, std::vector<BrokerAddress> brokers, OutboxNotices notices,
               OutboxSenderSettings settings = OutboxSenderSettings{});
  OutboxSender(Outbox& outbox, BrokerAddress address, OutboxNotices notices,
               OutboxSenderSettings settings = OutboxSenderSettings{});
  ~OutboxSender();  // stops it
  OutboxSender(const OutboxSender&) = delete;
  OutboxSender& operator=(const OutboxSender&) = delete;

  // Starts the thread, which connects and sends what waits. False with `why`.
  bool start(std::string& why);
  // A result was put into the outbox: it is sent soon. Thread-safe.
  void wake();
  // Sends `message` once, directly and after what waits on the wire now,
  // never through the outbox (for what the outbox cannot take); its outcome
  // does not matter. Thread-safe.
  void sendDirect(CfxMessage message);
  // Waits until the outbox is empty (true), or `timeoutMs` has passed, or,
  // with `untilUnreachable`, a connection attempt made after the call has
  // failed while results still wait (false). Sending goes on afterwards
  // until `stop`.
  bool drain(int timeoutMs, bool untilUnreachable);
  // Stops sending and joins the thread; what waits stays in the outbox.
  void stop();
  // Results waiting in the outbox, as the sender last counted them.
  std::size_t pending() const;
  // Why the last send of this run got no `accepted`; empty: none failed.
  std::string lastError() const;
  // Which of the brokers is connected to, or being tried (before `stop`).
  std::size_t brokerInUse() const;

 private:
  struct Running;
  Outbox& outbox_;
  std::vector<BrokerAddress> brokers_;
  OutboxNotices notices_;
  OutboxSenderSettings settings_;
  std::unique_ptr<Running> running_;
};

}  // namespace tarnwick
