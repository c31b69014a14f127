#include "station/run/result_publishing.h"

#include "platform/host_name.h"
#include "platform/random_uuid.h"
#include "platform/state_folder.h"
#include "station/cfx/cfx_endpoint.h"
#include "station/cfx/cfx_work.h"
#include "station/publish/broker_secret.h"
#include "station/run/result_message.h"
#include "text/iso_time.h"
#include "text/printable_text.h"

namespace tarnwick {
namespace {

// How long the end of a run waits for its last results to be accepted.
constexpr int kFinishWaitMs = 10000;

const char kNoUuid[] = "the system gave no random number for its ids";

}  // namespace

std::string defaultCfxHandle() {
  return "Tarnwick.Station." + hostName();
}

ResultPublishing::~ResultPublishing() {
  if (sender_) sender_->stop();
}

bool ResultPublishing::start(const PublishSettings& settings, std::vector<std::string>& warnings,
                             std::string& why) {
  settings_ = settings;
  if (settings_.handle.empty()) settings_.handle = defaultCfxHandle();
  std::vector<BrokerAddress> brokers;
  std::string error;
  if (!resolveBrokers(BrokerLogin{settings_.urls, settings_.passwordFile, settings_.tls}, brokers,
                      warnings, error)) {
    why = "--publish: " + error;
    return false;
  }
  for (const BrokerAddress& broker : brokers)
    printableUrls_.push_back(printableText(printableBrokerAddress(broker)));
  news_.broker = printableUrls_.front();
  folder_ = settings_.outbox;
  if (folder_.empty() && !defaultOutboxFolder(folder_, error)) {
    why = "no outbox folder: " + error + " (give --outbox DIR)";
    return false;
  }
  outbox_ = std::make_unique<Outbox>(folder_);
  if (!outbox_->open(error)) {
    why = "outbox " + folder_ + " cannot be used: " + error;
    return false;
  }
  // Found now, before any modem is touched, not when a result is to be kept.
  if (!outbox_->checkWritable(error)) {
    why = "outbox " + folder_ + " cannot take results: " + error;
    return false;
  }
  // Only the unreadable files are kept: a large outbox costs no memory here.
  if (!outbox_->eachPending([](const OutboxEntry&) {},
                            [this](const std::string& line) { unreadable_.push_back(line); },
                            error)) {
    why = "outbox " + folder_ + " cannot be read: " + error;
    return false;
  }
  // Before the sender starts, so that it goes out first of this run's.
  CfxMessage connected;
  if (settings_.endpointLife && !(endpointConnectedMessage(settings_.handle, settings_.requestUri,
                                                           cfxNow(), randomUuid, connected) &&
                                  putMessage(connected, error))) {
    why = "outbox " + folder_ + " cannot take CFX.EndpointConnected: " + error;
    return false;
  }
  OutboxSenderSettings senderSettings;
  senderSettings.heartbeatSeconds = settings_.heartbeatSeconds;
  senderSettings.heartbeatHandle = settings_.handle;
  senderSettings.holder = settings_.command;
  senderSettings.heartbeatContent = [this](CfxHeartbeat& heartbeat) {
    if (settings_.activeFaults) heartbeat.activeFaults = settings_.activeFaults();
    if (!settings_.recipeName.empty())
      heartbeat.activeRecipes = {CfxRecipe{settings_.recipeName, settings_.recipeRevision}};
  };
  sender_ = std::make_unique<OutboxSender>(
      *outbox_, brokers, [this](const OutboxNotice& notice) { noticed(notice); }, senderSettings);
  if (!sender_->start(error)) {
    sender_.reset();
    why = "results cannot be sent to " + printableUrls_.front() + ": " + error;
    return false;
  }
  return true;
}

bool ResultPublishing::name(ModemRecord& record, std::string& why) {
  if (!record.messageId.empty()) return true;
  record.messageId = randomUuid();
  if (!record.messageId.empty()) return true;
  why = "the system gave no random number for its id";
  return false;
}

bool ResultPublishing::workStarted(std::size_t unit, const ModemRecord& record, std::string& why) {
  if (transactions_.count(unit) > 0) return true;
  const std::string transaction = randomUuid();
  if (transaction.empty()) {
    why = kNoUuid;
    return false;
  }
  transactions_[unit] = transaction;
  CfxUnitResult started =
      unitResultOf(record, settings_.handle, isoTimeUtc(std::chrono::system_clock::now()), "");
  started.transactionId = transaction;
  CfxMessage message;
  if (!workStartedMessage(started, randomUuid, message)) {
    why = kNoUuid;
    return false;
  }
  return putMessage(message, why);
}

// WorkStarted (unless it went when the work began), UnitsTested and
// WorkCompleted, in this order on the wire: the outbox sends oldest first.
bool ResultPublishing::put(std::size_t unit, const ModemRecord& record, std::string& why) {
  if (!workStarted(unit, record, why)) return false;
  const std::string now = isoTimeUtc(std::chrono::system_clock::now());
  CfxUnitResult result = unitResultOf(record, settings_.handle, now, settings_.expectVersion);
  result.uniqueId = record.messageId;  // the id the records carry; the message's others are new
  result.transactionId = transactions_[unit];
  CfxMessage tested;
  CfxMessage completed;
  if (!unitsTestedMessage(result, randomUuid, tested) ||
      !workCompletedMessage(result, workResultOf(record), randomUuid, completed)) {
    why = kNoUuid;
    return false;
  }
  if (!putMessage(tested, why) || !putMessage(completed, why)) return false;
  transactions_.erase(unit);
  return true;
}

bool ResultPublishing::putMessage(const CfxMessage& message, std::string& why) {
  if (!outbox_->put(message, isoTimeUtc(std::chrono::system_clock::now()), why)) return false;
  if (sender_) sender_->wake();
  return true;
}

void ResultPublishing::sendDirect(const CfxMessage& message) {
  if (sender_) sender_->sendDirect(message);
}

bool ResultPublishing::shutDown(std::string& why) {
  if (!sender_ || !settings_.endpointLife) return true;
  CfxMessage message;
  if (!endpointShuttingDownMessage(settings_.handle, cfxNow(), randomUuid, message)) {
    why = kNoUuid;
    return false;
  }
  return putMessage(message, why);
}

void ResultPublishing::noticed(const OutboxNotice& notice) {
  std::lock_guard<std::mutex> hold(lock_);
  if (notice.kind == OutboxNotice::Kind::Rejected) {
    news_.rejected.emplace_back(notice.uniqueId, notice.error);
    return;
  }
  if (notice.kind == OutboxNotice::Kind::Blocked) {
    news_.blocked.push_back(notice.error);
    return;
  }
  news_.stateChanged = true;
  news_.pending = notice.pending;
  if (notice.broker < printableUrls_.size()) news_.broker = printableUrls_[notice.broker];
  news_.oldest = {};
  if (!notice.oldestCreated.empty()) parseIsoTimeUtc(notice.oldestCreated, news_.oldest);
}

PublishNews ResultPublishing::takeNews() {
  std::lock_guard<std::mutex> hold(lock_);
  PublishNews news = news_;
  news_.stateChanged = false;
  news_.rejected.clear();
  news_.blocked.clear();
  return news;
}

std::string ResultPublishing::sendLaterOptions() const {
  std::string options;
  for (const std::string& url : printableUrls_)
    options += (options.empty() ? "" : " ") + ("--publish " + url);
  if (!settings_.passwordFile.empty())
    options += " --broker-password-file " + settings_.passwordFile;
  const std::pair<const char*, const std::string*> tlsOptions[] = {
      {" --tls-ca ", &settings_.tls.caFile},
      {" --tls-cert ", &settings_.tls.certFile},
      {" --tls-key ", &settings_.tls.keyFile}};
  for (const auto& [option, file] : tlsOptions)
    if (!file->empty()) options += option + *file;
  return options;
}

std::size_t ResultPublishing::finish() {
  if (!sender_) return 0;
  sender_->drain(kFinishWaitMs, true);
  lastBroker_ = printableUrls_.at(sender_->brokerInUse());
  sender_->stop();
  std::size_t waiting = 0;
  std::string why;
  if (!outbox_->eachPending([&waiting](const OutboxEntry&) { ++waiting; },
                            [](const std::string&) {}, why)) {
    return sender_->pending();
  }
  return waiting;
}

}  // namespace tarnwick
