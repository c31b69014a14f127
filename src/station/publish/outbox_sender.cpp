#include "station/publish/outbox_sender.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "platform/random_uuid.h"
#include "station/publish/cfx_message.h"
#include "text/iso_time.h"

namespace tarnwick {
namespace {

using Clock = std::chrono::steady_clock;

// Results handed to the publisher at once while its link is open. While it
// is not, only the oldest goes, as a probe: its outcome says when the link
// is back, and the others are not counted an attempt per failed connection.
constexpr std::size_t kWindow = 32;
// A result that got no outcome is sent again after this. While the broker
// is away the publisher holds it until its next connection attempt, so
// this only spaces out resends to a broker that releases them.
constexpr int kResendWaitMs = 1000;
// After the outbox folder could not be read, it is read again after this.
constexpr int kListAgainMs = 1000;

// True when the publisher's reason says the result never got onto a link:
// a connection attempt failed, or no link came within the outcome time.
bool neverReachedBroker(const std::string& reason) {
  return reason.rfind("cannot connect to the broker", 0) == 0 ||
         reason.rfind("not sent within", 0) == 0;
}

OutgoingMessage outgoingOf(const CfxMessage& message) {
  OutgoingMessage outgoing;
  outgoing.messageId = message.messageId;
  outgoing.subject = message.subject;
  outgoing.body = message.body;
  outgoing.properties = {{"cfx-topic", message.topic},
                         {"cfx-message", message.messageName},
                         {"cfx-handle", message.handle}};
  return outgoing;
}

// One result as the sender thread keeps it between listings.
struct Waiting {
  OutboxEntry entry;
  bool inFlight = false;        // submitted, no outcome yet
  Clock::time_point notBefore;  // not submitted again before this
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
  std::uint64_t wakes = 0;          // listings asked for: the start's and one per `wake`
  std::uint64_t listedWakes = 0;    // of those, the ones the last good listing covers
  bool listedOnce = false;
  std::size_t count = 0;          // results waiting at the last count
  std::uint64_t unreachable = 0;  // outcomes that never reached the broker
  std::deque<PublishResult> outcomes;
  std::atomic<std::size_t> pending{0};

  // The sender thread's own.
  std::vector<Waiting> waiting;  // oldest first
  std::set<std::string> heartbeatIds;
  Clock::time_point nextHeartbeat;
  Clock::time_point nextListing;
  std::uint64_t seenWakes = 0;
  bool listingDue = false;
  bool stopped = false;  // the publisher has been stopped
  std::uint64_t newlyUnreachable = 0;
  bool noticed = false;
  std::size_t noticedCount = 0;
  std::string noticedOldest;

  std::unique_ptr<AmqpPublisher> publisher;
  std::thread thread;

  void queueOutcome(const PublishResult& result) {
    std::lock_guard<std::mutex> lock(mutex);
    outcomes.push_back(result);
    work.notify_one();
  }

  bool emptyNow() const { return listedOnce && listedWakes == wakes && count == 0; }

  void run();
  bool waitForWork(std::deque<PublishResult>& taken);
  Clock::time_point nextDue() const;
  void settle(const PublishResult& result);
  void settleAll(std::deque<PublishResult>& taken);
  void list();
  void heartbeatIfDue();
  void submitDue();
  void publishState();
  Waiting* find(const std::string& uniqueId);
  void forget(const std::string& uniqueId);
};

void OutboxSender::Running::run() {
  nextHeartbeat = Clock::now();
  std::deque<PublishResult> taken;
  while (waitForWork(taken)) {
    settleAll(taken);
    if (listingDue && Clock::now() >= nextListing) list();
    heartbeatIfDue();
    submitDue();
    publishState();
  }
  // What had no outcome yet is reported Retry by the publisher's stop; an
  // acceptance that came meanwhile still removes its result.
  publisher->stop();
  stopped = true;
  {
    std::lock_guard<std::mutex> lock(mutex);
    taken = std::move(outcomes);
    outcomes.clear();
  }
  settleAll(taken);
  publishState();
}

// Waits for outcomes, a wake, a stop or the next timed work; false once
// stopping. Takes the outcomes, and notes whether a listing is due.
bool OutboxSender::Running::waitForWork(std::deque<PublishResult>& taken) {
  const Clock::time_point due = nextDue();
  std::unique_lock<std::mutex> lock(mutex);
  const auto ready = [this] { return stopping || !outcomes.empty() || wakes != seenWakes; };
  if (due == Clock::time_point::max()) {
    work.wait(lock, ready);
  } else {
    work.wait_until(lock, due, ready);
  }
  if (stopping) return false;
  taken = std::move(outcomes);
  outcomes.clear();
  if (wakes != seenWakes) {
    seenWakes = wakes;
    listingDue = true;
    nextListing = Clock::now();
  }
  return true;
}

// The earliest of: the next heartbeat, the next listing after a failed one,
// a result's resend. Results in flight or already due wait for outcomes.
Clock::time_point OutboxSender::Running::nextDue() const {
  const Clock::time_point now = Clock::now();
  Clock::time_point due = Clock::time_point::max();
  if (settings.heartbeatSeconds > 0) due = std::min(due, nextHeartbeat);
  if (listingDue) due = std::min(due, nextListing);
  for (const Waiting& result : waiting) {
    if (!result.inFlight && result.notBefore > now) due = std::min(due, result.notBefore);
  }
  return due;
}

void OutboxSender::Running::settleAll(std::deque<PublishResult>& taken) {
  for (const PublishResult& result : taken) settle(result);
  taken.clear();
}

void OutboxSender::Running::settle(const PublishResult& result) {
  if (heartbeatIds.erase(result.messageId) > 0) return;  // a heartbeat's outcome does not matter
  Waiting* sent = find(result.messageId);
  if (sent == nullptr || !sent->inFlight) return;
  sent->inFlight = false;
  sent->notBefore = Clock::now() + std::chrono::milliseconds(kResendWaitMs);
  std::string why;
  switch (result.outcome) {
    case PublishOutcome::Accepted:
      // Should the file stay, the result is sent again: a duplicate, not a loss.
      if (outbox.remove(result.messageId, why)) forget(result.messageId);
      break;
    case PublishOutcome::Rejected:
      if (outbox.reject(result.messageId, result.reason, why)) {
        forget(result.messageId);
        OutboxNotice notice;
        notice.kind = OutboxNotice::Kind::Rejected;
        notice.uniqueId = result.messageId;
        notice.error = result.reason;
        if (notices) notices(notice);
      }
      break;
    case PublishOutcome::Retry:
      // The publisher's own stop is no failed send: the last error stays
      // the broker's.
      if (stopped) break;
      outbox.noteAttempt(result.messageId, result.reason, why);
      sent->entry.attempts += 1;
      sent->entry.lastError = result.reason;
      if (neverReachedBroker(result.reason)) ++newlyUnreachable;
      break;
  }
}

// Reads the outbox once; what is in flight stays in flight.
void OutboxSender::Running::list() {
  OutboxListing listing;
  std::string why;
  if (!outbox.pending(listing, why)) {
    nextListing = Clock::now() + std::chrono::milliseconds(kListAgainMs);
    return;
  }
  std::vector<Waiting> fresh;
  fresh.reserve(listing.entries.size());
  for (OutboxEntry& entry : listing.entries) {
    const Waiting* known = find(entry.message.messageId);
    Waiting result = known != nullptr ? *known : Waiting{};
    result.entry = std::move(entry);
    fresh.push_back(std::move(result));
  }
  waiting = std::move(fresh);
  listingDue = false;
  std::lock_guard<std::mutex> lock(mutex);
  listedWakes = seenWakes;
  listedOnce = true;
  count =
      waiting.size();  // with the listing's mark, so that `drain` never sees one without the other
}

void OutboxSender::Running::heartbeatIfDue() {
  const Clock::time_point now = Clock::now();
  if (settings.heartbeatSeconds <= 0 || now < nextHeartbeat) return;
  nextHeartbeat = now + std::chrono::seconds(settings.heartbeatSeconds);
  CfxMessage heartbeat;
  if (!heartbeatMessage(settings.heartbeatHandle, isoTimeUtc(std::chrono::system_clock::now()),
                        settings.heartbeatSeconds, randomUuid, heartbeat)) {
    return;
  }
  if (publisher->submit(outgoingOf(heartbeat))) heartbeatIds.insert(heartbeat.messageId);
}

// Oldest first, never one result twice at once, at most the window.
void OutboxSender::Running::submitDue() {
  const std::size_t window = publisher->linkOpen() ? kWindow : 1;
  std::size_t inFlight = static_cast<std::size_t>(
      std::count_if(waiting.begin(), waiting.end(), [](const Waiting& w) { return w.inFlight; }));
  const Clock::time_point now = Clock::now();
  for (Waiting& result : waiting) {
    if (inFlight >= window) break;
    if (result.inFlight) continue;
    // The probe is always the oldest; with the link open the others need
    // not wait for one that waits to be sent again.
    if (result.notBefore > now) {
      if (window == 1) break;
      continue;
    }
    if (!publisher->submit(outgoingOf(result.entry.message))) {
      result.notBefore = now + std::chrono::milliseconds(kResendWaitMs);
      continue;
    }
    result.inFlight = true;
    ++inFlight;
  }
}

// Tells `drain` and `pending` the count, and the user when it changed.
void OutboxSender::Running::publishState() {
  const std::size_t now = waiting.size();
  const std::string oldest = waiting.empty() ? std::string() : waiting.front().entry.created;
  bool listed = false;
  {
    std::lock_guard<std::mutex> lock(mutex);
    count = now;
    unreachable += newlyUnreachable;
    listed = listedOnce;
    changed.notify_all();
  }
  newlyUnreachable = 0;
  pending = now;
  if (!listed || (noticed && noticedCount == now && noticedOldest == oldest)) return;
  noticed = true;
  noticedCount = now;
  noticedOldest = oldest;
  OutboxNotice notice;
  notice.kind = OutboxNotice::Kind::State;
  notice.pending = now;
  notice.oldestCreated = oldest;
  if (notices) notices(notice);
}

Waiting* OutboxSender::Running::find(const std::string& uniqueId) {
  for (Waiting& result : waiting) {
    if (result.entry.message.messageId == uniqueId) return &result;
  }
  return nullptr;
}

void OutboxSender::Running::forget(const std::string& uniqueId) {
  waiting.erase(
      std::remove_if(waiting.begin(), waiting.end(),
                     [&](const Waiting& w) { return w.entry.message.messageId == uniqueId; }),
      waiting.end());
}

OutboxSender::OutboxSender(Outbox& outbox, BrokerAddress address, OutboxNotices notices,
                           OutboxSenderSettings settings)
    : outbox_(outbox),
      address_(std::move(address)),
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
      address_, [&running](const PublishResult& result) { running.queueOutcome(result); },
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
}

std::size_t OutboxSender::pending() const {
  return running_->pending;
}

}  // namespace tarnwick
