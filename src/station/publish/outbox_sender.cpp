#include "station/publish/outbox_sender.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/file_lock.h"
#include "platform/random_uuid.h"
#include "station/cfx/cfx_message.h"
#include "station/publish/amqp_message.h"
#include "text/iso_time.h"

namespace tarnwick {
namespace {

using Clock = std::chrono::steady_clock;

// Results on their way at once while the link is open. While it is not,
// only the oldest goes, as a probe: its outcome says when the link is
// back, and the others are not counted an attempt per failed connection.
constexpr std::size_t kWindow = 64;
// A result that got no outcome is sent again after this. While the broker
// is away the publisher holds it until its next connection attempt, so
// this only spaces out resends to a broker that releases them.
constexpr int kResendWaitMs = 1000;
// After the outbox folder could not be read, it is read again after this.
constexpr int kListAgainMs = 1000;
// The folder is read again this often, for results other runs left there
// while this one sends (they cannot send them: this sender holds the lock).
constexpr int kRelistMs = 30000;
// While another program holds the outbox's lock, it is tried again this often.
constexpr int kLockAgainMs = 2000;

// True when the publisher's reason says the result never got onto a link:
// a connection attempt failed, or no link came within the outcome time.
bool neverReachedBroker(const std::string& reason) {
  return reason.rfind("cannot connect to the broker", 0) == 0 ||
         reason.rfind("not sent within", 0) == 0;
}

// One waiting result as the sender thread keeps it: no body, which stays
// in its file until it is sent.
struct Waiting {
  bool inFlight = false;        // submitted, no outcome yet
  bool overdue = false;         // ... and its outcome is late: it holds up no other
  std::uint32_t seen = 0;       // the last listing that found its file
  Clock::time_point sentAt;     // when it was last submitted
  Clock::time_point notBefore;  // not submitted again before this
};

// The queue's order: the sequence its file name starts with, then its id.
using Key = std::pair<std::uint64_t, std::string>;
using Queue = std::map<Key, Waiting>;
using Ref = Queue::iterator;
struct OldestFirst {
  bool operator()(const Ref& a, const Ref& b) const { return a->first < b->first; }
};

}  // namespace

// The part shared between threads is under `mutex`; the rest belongs to the
// sender thread alone. The publisher's callback only queues each outcome:
// all disk work and every notice happen on the sender thread, and no lock
// is held while the publisher or the outbox is called.
struct OutboxSender::Running {
  Running(Outbox& outbox, const OutboxNotices& notices, const OutboxSenderSettings& settings)
      : outbox(outbox), notices(notices), settings(settings) {}

  Outbox& outbox;
  const OutboxNotices& notices;
  const OutboxSenderSettings& settings;

  // Shared, under `mutex`.
  std::mutex mutex;
  std::condition_variable work;     // the sender thread waits on it
  std::condition_variable changed;  // `drain` waits on it
  bool stopping = true;             // false while the thread runs
  std::uint64_t wakes = 0;          // takings asked for: the start's and one per `wake`
  std::uint64_t listedWakes = 0;    // of those, the ones the queue covers
  bool listedOnce = false;
  std::size_t count = 0;          // results waiting at the last count
  std::uint64_t unreachable = 0;  // outcomes that never reached the broker, and blocks
  std::string lastError;          // this run's last failed send
  std::deque<PublishResult> outcomes;
  std::deque<CfxMessage> direct;  // to be sent directly
  std::atomic<std::size_t> pending{0};

  // The sender thread's own.
  Queue queue;
  std::unordered_map<std::string_view, Ref> byId;  // views of the queue's keys
  std::set<Ref, OldestFirst> ready;                // not in flight
  // Files named as results that cannot be read as one: left where they are
  // (the run said so at its start), never counted as waiting.
  std::set<Key> unreadable;
  std::deque<std::pair<Clock::time_point, std::string>> sentOrder;  // to find the overdue
  std::size_t inFlightOnTime = 0;                                   // in flight and not overdue
  std::set<std::string> directIds;  // heartbeats and direct messages on their way
  FileLock lock;
  Clock::time_point nextLockTry;
  Clock::time_point nextHeartbeat;
  Clock::time_point nextListing;
  std::uint64_t seenWakes = 0;
  std::uint32_t listing = 0;  // listings of the folder so far
  bool listingDue = true;     // the whole folder is to be read
  bool takingDue = false;     // what this process put is to be taken
  bool stopped = false;       // the publisher has been stopped
  std::uint64_t newlyUnreachable = 0;
  std::string newLastError;
  bool noticed = false;
  std::size_t noticedCount = 0;
  std::string noticedOldest;
  std::size_t noticedBroker = 0;
  Key oldestKey;
  std::string oldestCreated;
  std::string blockedBy;  // the last Blocked notice's text

  std::unique_ptr<AmqpPublisher> publisher;
  std::thread thread;

  void queueOutcome(const PublishResult& result) {
    std::lock_guard<std::mutex> hold(mutex);
    outcomes.push_back(result);
    work.notify_one();
  }

  bool emptyNow() const { return listedOnce && listedWakes == wakes && count == 0; }

  void run();
  bool waitForWork(std::deque<PublishResult>& taken);
  Clock::time_point nextDue() const;
  bool holdLock();
  void blocked(const std::string& why);
  void settle(const PublishResult& result);
  void settleAll(std::deque<PublishResult>& taken);
  void failed(Ref sent, const PublishResult& result);
  void list();
  void takePut();
  Ref add(const OutboxName& name);
  void markOverdue();
  void heartbeatIfDue();
  void sendDirect();
  void submitDue();
  bool submit(Ref result, Clock::time_point now);
  void publishState();
  Ref find(const std::string& uniqueId);
  void forget(Ref result);
  void toReady(Ref result, Clock::time_point notBefore);
  const std::string& oldest();
};

void OutboxSender::Running::run() {
  nextHeartbeat = Clock::now();
  std::deque<PublishResult> taken;
  while (waitForWork(taken)) {
    settleAll(taken);
    if (!holdLock()) {
      heartbeatIfDue();
      sendDirect();
      publishState();
      continue;
    }
    if (listingDue && Clock::now() >= nextListing) list();
    if (takingDue) takePut();
    markOverdue();
    submitDue();
    // After what waits, so that a heartbeat follows the run's first
    // messages (CFX.EndpointConnected) on the wire.
    heartbeatIfDue();
    sendDirect();
    publishState();
  }
  // What had no outcome yet is reported Retry by the publisher's stop; an
  // acceptance that came meanwhile still removes its result.
  publisher->stop();
  stopped = true;
  {
    std::lock_guard<std::mutex> hold(mutex);
    taken = std::move(outcomes);
    outcomes.clear();
  }
  settleAll(taken);
  publishState();
}

// Waits for outcomes, a wake, a stop or the next timed work; false once
// stopping. Takes the outcomes, and notes whether a taking is due.
bool OutboxSender::Running::waitForWork(std::deque<PublishResult>& taken) {
  const Clock::time_point due = nextDue();
  std::unique_lock<std::mutex> hold(mutex);
  const auto ready = [this] {
    return stopping || !outcomes.empty() || !direct.empty() || wakes != seenWakes;
  };
  if (due == Clock::time_point::max()) {
    work.wait(hold, ready);
  } else {
    work.wait_until(hold, due, ready);
  }
  if (stopping) return false;
  taken = std::move(outcomes);
  outcomes.clear();
  if (wakes != seenWakes) {
    seenWakes = wakes;
    takingDue = true;
  }
  return true;
}

// The earliest of: the next heartbeat, the next try of the lock, the next
// listing, the oldest in-flight result falling overdue, and, while the
// window has room, a result's resend (one due now was sent already: the
// next outcome makes room).
Clock::time_point OutboxSender::Running::nextDue() const {
  Clock::time_point due = Clock::time_point::max();
  if (settings.heartbeatSeconds > 0) due = std::min(due, nextHeartbeat);
  if (!lock.held()) return std::min(due, nextLockTry);
  due = std::min(due, nextListing);
  if (!sentOrder.empty()) {
    due = std::min(due, sentOrder.front().first +
                            std::chrono::milliseconds(settings.publisher.outcomeTimeoutMs));
  }
  const Clock::time_point now = Clock::now();
  const std::size_t window = publisher->linkOpen() ? kWindow : 1;
  for (const Ref& result : ready) {
    if (inFlightOnTime >= window) break;
    if (result->second.notBefore > now) due = std::min(due, result->second.notBefore);
    if (window == 1) break;  // only the oldest goes as the probe
  }
  return due;
}

// True while this sender holds the outbox's lock; tries to take it when
// due. When the lock cannot be had at all (a folder that takes no lock
// file), it sends without one rather than not at all.
bool OutboxSender::Running::holdLock() {
  if (lock.held()) return true;
  const Clock::time_point now = Clock::now();
  if (now < nextLockTry) return false;
  std::string why;
  switch (lock.take(outbox.senderLockPath(), settings.holder, why)) {
    case FileLock::Take::Taken:
      return true;
    case FileLock::Take::Busy:
      nextLockTry = now + std::chrono::milliseconds(kLockAgainMs);
      blocked("the outbox " + outbox.folder() + " is being sent by " + why +
              "; results wait there until it is done");
      return false;
    case FileLock::Take::Failed:
      break;
  }
  nextLockTry = Clock::time_point::max();
  return true;
}

// A Blocked notice, once per cause; `drain` counts it as unreachable.
void OutboxSender::Running::blocked(const std::string& why) {
  ++newlyUnreachable;
  newLastError = why;
  if (why == blockedBy) return;
  blockedBy = why;
  OutboxNotice notice;
  notice.kind = OutboxNotice::Kind::Blocked;
  notice.error = why;
  if (notices) notices(notice);
}

void OutboxSender::Running::settleAll(std::deque<PublishResult>& taken) {
  for (const PublishResult& result : taken) settle(result);
  taken.clear();
}

void OutboxSender::Running::settle(const PublishResult& result) {
  if (directIds.erase(result.messageId) > 0) return;  // a heartbeat's outcome does not matter
  const Ref sent = find(result.messageId);
  if (sent == queue.end() || !sent->second.inFlight) return;
  if (!sent->second.overdue) --inFlightOnTime;
  sent->second.inFlight = sent->second.overdue = false;
  std::string why;
  switch (result.outcome) {
    case PublishOutcome::Accepted:
      // Should the file stay, the result is sent again: a duplicate, not a
      // loss. One whose file has gone (deleted by hand) is simply done.
      if (outbox.remove(result.messageId, why) || !outbox.waits(result.messageId)) {
        blockedBy.clear();
        forget(sent);
        return;
      }
      break;
    case PublishOutcome::Rejected:
      if (outbox.reject(result.messageId, result.reason, why)) {
        OutboxNotice notice;
        notice.kind = OutboxNotice::Kind::Rejected;
        notice.uniqueId = result.messageId;
        notice.error = result.reason;
        forget(sent);
        if (notices) notices(notice);
        return;
      }
      if (!outbox.waits(result.messageId)) return forget(sent);
      break;
    case PublishOutcome::Retry:
    case PublishOutcome::AddressRefused:
      return failed(sent, result);
  }
  toReady(sent, Clock::now() + std::chrono::milliseconds(kResendWaitMs));
}

// A send that got no outcome: counted in its file, and sent again later.
void OutboxSender::Running::failed(Ref sent, const PublishResult& result) {
  toReady(sent, Clock::now() + std::chrono::milliseconds(kResendWaitMs));
  // The publisher's own stop is no failed send: the last error stays the
  // broker's.
  if (stopped) return;
  std::string why;
  if (!outbox.noteAttempt(result.messageId, result.reason, why) &&
      !outbox.waits(result.messageId)) {
    return forget(sent);
  }
  newLastError = result.reason;
  if (result.outcome == PublishOutcome::AddressRefused) {
    blocked(result.reason + ": results wait");
  } else if (neverReachedBroker(result.reason)) {
    ++newlyUnreachable;
  }
}

// Reads the names of everything waiting: what is new joins the queue, and
// what has gone (and is not on its way) leaves it.
void OutboxSender::Running::list() {
  std::string why;
  const Clock::time_point now = Clock::now();
  // What was put before the listing is in it; what is put after it stays
  // for the next taking.
  for (const OutboxName& name : outbox.takePut()) add(name);
  ++listing;
  const auto mark = [this](const OutboxName& name) {
    const Ref result = add(name);
    if (result != queue.end()) result->second.seen = listing;
  };
  if (!outbox.eachName(mark, why)) {
    nextListing = now + std::chrono::milliseconds(kListAgainMs);
    return;
  }
  for (Ref result = queue.begin(); result != queue.end();) {
    const Ref next = std::next(result);
    if (!result->second.inFlight && result->second.seen != listing) forget(result);
    result = next;
  }
  listingDue = false;
  nextListing = now + std::chrono::milliseconds(kRelistMs);
  takingDue = false;
  std::lock_guard<std::mutex> hold(mutex);
  listedWakes = seenWakes;
  listedOnce = true;
  count = queue.size();  // with the mark, so that `drain` never sees one without the other
}

// What this process put since the last taking: no folder listing, so a
// put costs the sender the same however much waits.
void OutboxSender::Running::takePut() {
  for (const OutboxName& name : outbox.takePut()) add(name);
  takingDue = false;
  std::lock_guard<std::mutex> hold(mutex);
  if (!listedOnce) return;  // the first listing is still to come
  listedWakes = seenWakes;
  count = queue.size();  // with the mark, so that `drain` never sees one without the other
}

// The result's place in the queue, new or known; end() for a file that
// proved unreadable.
Ref OutboxSender::Running::add(const OutboxName& name) {
  const Ref known = find(name.uniqueId);
  if (known != queue.end()) return known;
  Key key{name.sequence, name.uniqueId};
  if (unreadable.count(key) > 0) return queue.end();
  const Ref result = queue.emplace(std::move(key), Waiting{}).first;
  byId.emplace(result->first.second, result);
  ready.insert(result);
  return result;
}

// A delivery whose outcome is late stays on its way (its outcome settles
// it whenever it comes, and it is sent again only once the link drops or
// the broker releases it), but no longer holds up the results behind it.
void OutboxSender::Running::markOverdue() {
  const Clock::time_point late =
      Clock::now() - std::chrono::milliseconds(settings.publisher.outcomeTimeoutMs);
  while (!sentOrder.empty() && sentOrder.front().first <= late) {
    const auto [sentAt, uniqueId] = std::move(sentOrder.front());
    sentOrder.pop_front();
    const Ref result = find(uniqueId);
    if (result == queue.end()) continue;
    Waiting& waiting = result->second;
    if (!waiting.inFlight || waiting.overdue || waiting.sentAt != sentAt) continue;
    waiting.overdue = true;
    --inFlightOnTime;
    std::string why;
    const std::string error = "no outcome from the broker within " +
                              std::to_string(settings.publisher.outcomeTimeoutMs / 1000) +
                              " s: it waits for one";
    outbox.noteAttempt(result->first.second, error, why);
    newLastError = error;
  }
}

void OutboxSender::Running::heartbeatIfDue() {
  const Clock::time_point now = Clock::now();
  if (settings.heartbeatSeconds <= 0 || now < nextHeartbeat) return;
  nextHeartbeat = now + std::chrono::seconds(settings.heartbeatSeconds);
  CfxHeartbeat content;
  content.handle = settings.heartbeatHandle;
  content.timeStamp = isoTimeUtc(std::chrono::system_clock::now());
  content.frequencySeconds = settings.heartbeatSeconds;
  if (settings.heartbeatContent) settings.heartbeatContent(content);
  CfxMessage heartbeat;
  if (!heartbeatMessage(content, randomUuid, heartbeat)) return;
  if (publisher->submit(outgoingOf(heartbeat))) directIds.insert(heartbeat.messageId);
}

void OutboxSender::Running::sendDirect() {
  std::deque<CfxMessage> taken;
  {
    std::lock_guard<std::mutex> hold(mutex);
    taken.swap(direct);
  }
  for (const CfxMessage& message : taken) {
    if (publisher->submit(outgoingOf(message))) directIds.insert(message.messageId);
  }
}

// Oldest first, never one result twice at once, at most the window on
// time. The probe while the link is down is always the oldest.
void OutboxSender::Running::submitDue() {
  const bool linkOpen = publisher->linkOpen();
  const std::size_t window = linkOpen ? kWindow : 1;
  const Clock::time_point now = Clock::now();
  for (auto next = ready.begin(); next != ready.end() && inFlightOnTime < window;) {
    const Ref result = *next++;
    if (result->second.notBefore > now) {
      if (!linkOpen) break;
      continue;
    }
    if (!submit(result, now) && !linkOpen) break;
  }
}

// Reads the result's file and hands it to the publisher.
bool OutboxSender::Running::submit(Ref result, Clock::time_point now) {
  OutboxEntry entry;
  std::string why;
  if (!outbox.read(result->first.second, entry, why)) {
    if (outbox.waits(result->first.second)) unreadable.insert(result->first);
    forget(result);
    return false;
  }
  if (!publisher->submit(outgoingOf(entry.message))) {
    result->second.notBefore = now + std::chrono::milliseconds(kResendWaitMs);
    return false;
  }
  ready.erase(result);
  result->second.inFlight = true;
  result->second.sentAt = now;
  sentOrder.emplace_back(now, result->first.second);
  ++inFlightOnTime;
  return true;
}

// Tells `drain` and `pending` the count, and the user when it changed.
void OutboxSender::Running::publishState() {
  const std::size_t now = queue.size();
  const std::string created = oldest();
  // The publisher's stop forgets which broker it used: the last one noticed stays.
  const std::size_t broker = stopped ? noticedBroker : publisher->brokerInUse();
  bool listed = false;
  {
    std::lock_guard<std::mutex> hold(mutex);
    count = now;
    unreachable += newlyUnreachable;
    if (!newLastError.empty()) lastError = newLastError;
    listed = listedOnce;
    changed.notify_all();
  }
  newlyUnreachable = 0;
  newLastError.clear();
  pending = now;
  if (!listed ||
      (noticed && noticedCount == now && noticedOldest == created && noticedBroker == broker)) {
    return;
  }
  noticed = true;
  noticedCount = now;
  noticedOldest = created;
  noticedBroker = broker;
  OutboxNotice notice;
  notice.kind = OutboxNotice::Kind::State;
  notice.pending = now;
  notice.oldestCreated = created;
  notice.broker = broker;
  if (notices) notices(notice);
}

// When the oldest waiting result was put: read from its file (without the
// body) once each time another becomes the oldest.
const std::string& OutboxSender::Running::oldest() {
  if (queue.empty()) {
    oldestKey = Key{};
    oldestCreated.clear();
  } else if (queue.begin()->first != oldestKey) {
    oldestKey = queue.begin()->first;
    OutboxEntry entry;
    std::string why;
    oldestCreated = outbox.read(oldestKey.second, entry, why, false) ? entry.created : "";
  }
  return oldestCreated;
}

Ref OutboxSender::Running::find(const std::string& uniqueId) {
  const auto found = byId.find(uniqueId);
  return found == byId.end() ? queue.end() : found->second;
}

void OutboxSender::Running::forget(Ref result) {
  if (result->second.inFlight && !result->second.overdue) --inFlightOnTime;
  ready.erase(result);
  byId.erase(result->first.second);
  queue.erase(result);
}

void OutboxSender::Running::toReady(Ref result, Clock::time_point notBefore) {
  result->second.notBefore = notBefore;
  ready.insert(result);
}

OutboxSender::OutboxSender(Outbox& outbox, BrokerAddress address, OutboxNotices notices,
                           OutboxSenderSettings settings)
    : OutboxSender(outbox, std::vector<BrokerAddress>{std::move(address)}, std::move(notices),
                   std::move(settings)) {}

OutboxSender::OutboxSender(Outbox& outbox, std::vector<BrokerAddress> brokers,
                           OutboxNotices notices, OutboxSenderSettings settings)
    : outbox_(outbox),
      brokers_(std::move(brokers)),
      notices_(std::move(notices)),
      settings_(std::move(settings)),
      running_(std::make_unique<Running>(outbox_, notices_, settings_)) {}

OutboxSender::~OutboxSender() {
  stop();
}

bool OutboxSender::start(std::string& why) {
  Running& running = *running_;
  if (running.thread.joinable()) {
    why = "the outbox sender is running already";
    return false;
  }
  running.stopped = false;
  {
    std::lock_guard<std::mutex> lock(running.mutex);
    running.stopping = false;
    ++running.wakes;  // the first pass lists what waits already
  }
  running.publisher = std::make_unique<AmqpPublisher>(
      brokers_, [&running](const PublishResult& result) { running.queueOutcome(result); },
      settings_.publisher);
  bool started = running.publisher->start(&why);
  if (started) {
    try {
      running.thread = std::thread([&running] { running.run(); });
    } catch (const std::exception& error) {
      running.publisher->stop();
      why = std::string("cannot start the outbox sender's thread: ") + error.what();
      started = false;
    }
  }
  if (!started) {
    std::lock_guard<std::mutex> lock(running.mutex);
    running.stopping = true;
  }
  return started;
}

void OutboxSender::wake() {
  std::lock_guard<std::mutex> lock(running_->mutex);
  ++running_->wakes;
  running_->work.notify_one();
}

void OutboxSender::sendDirect(CfxMessage message) {
  std::lock_guard<std::mutex> lock(running_->mutex);
  if (running_->stopping) return;
  running_->direct.push_back(std::move(message));
  running_->work.notify_one();
}

bool OutboxSender::drain(int timeoutMs, bool untilUnreachable) {
  Running& running = *running_;
  std::unique_lock<std::mutex> lock(running.mutex);
  const std::uint64_t failuresBefore = running.unreachable;
  running.changed.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)), [&] {
    return running.emptyNow() || running.stopping ||
           (untilUnreachable && running.unreachable > failuresBefore);
  });
  return running.emptyNow();
}

void OutboxSender::stop() {
  Running& running = *running_;
  if (!running.thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(running.mutex);
    running.stopping = true;
    running.work.notify_one();
    running.changed.notify_all();
  }
  running.thread.join();
  running.publisher.reset();
  running.lock.release();
}

std::size_t OutboxSender::pending() const {
  return running_->pending;
}

std::size_t OutboxSender::brokerInUse() const {
  return running_->publisher ? running_->publisher->brokerInUse() : 0;
}

std::string OutboxSender::lastError() const {
  std::lock_guard<std::mutex> lock(running_->mutex);
  return running_->lastError;
}

}  // namespace tarnwick
