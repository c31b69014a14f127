#include "station/commands/outbox_command.h"

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "platform/state_folder.h"
#include "station/publish/broker_address.h"
#include "station/publish/broker_secret.h"
#include "station/publish/outbox.h"
#include "station/publish/outbox_listing.h"
#include "station/publish/outbox_sender.h"
#include "station/run/run_setup.h"
#include "text/printable_text.h"

namespace tarnwick {
namespace {

std::string results(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " result" : " results");
}

void complain(StationContext& context, const std::string& text) {
  say(context.err, "tarnwick-station: " + text + "\n");
}

// The outbox folder asked for, or the user's; false (said) when the system
// names none or the path is there but no folder. `exists` is false when
// nothing is there yet: then nothing waits.
bool outboxFolder(const OutboxOptions& options, StationContext& context, std::string& folder,
                  bool& exists) {
  std::string why;
  folder = options.outbox;
  if (folder.empty() && !defaultOutboxFolder(folder, why)) {
    complain(context, "no outbox folder: " + why + "; give one with --outbox");
    return false;
  }
  std::error_code error;
  const auto status = std::filesystem::status(std::filesystem::u8path(folder), error);
  exists = status.type() != std::filesystem::file_type::not_found;
  if (exists && !std::filesystem::is_directory(status)) {
    complain(context, "the outbox " + folder + " is not a folder" +
                          (error ? ": " + error.message() : std::string()));
    return false;
  }
  return true;
}

// How many results wait in `outbox` and how many files there are no
// result; with `say`, each of those is said on a line. Nothing is kept.
struct WaitingCount {
  std::size_t results = 0;
  std::size_t unreadable = 0;
};
bool countWaiting(const Outbox& outbox, bool sayUnreadable, StationContext& context,
                  WaitingCount& count) {
  std::string why;
  const bool listed = outbox.eachPending(
      [&](const OutboxEntry&) { ++count.results; },
      [&](const std::string& line) {
        ++count.unreadable;
        if (sayUnreadable) {
          complain(context, "in the outbox " + outbox.folder() + ": " + printableText(line));
        }
      },
      why);
  if (!listed) complain(context, why);
  return listed;
}

// Streams the listing, a batch of lines at a time: a large outbox is
// listed in little memory.
int listOutbox(const std::string& folder, bool exists, bool json, StationContext& context) {
  if (!exists) return kExitDone;  // nothing was ever put there
  Outbox outbox(folder);
  std::vector<OutboxEntry> batch;
  const auto flush = [&] {
    say(context.out, json ? outboxListingJson(batch) : outboxListingText(batch));
    batch.clear();
  };
  std::string why;
  const bool listed = outbox.eachPending(
      [&](const OutboxEntry& entry) {
        batch.push_back(entry);
        if (batch.size() >= 1000) flush();
      },
      [&](const std::string& line) {
        complain(context, "in the outbox " + outbox.folder() + ": " + printableText(line));
      },
      why);
  if (!listed) {
    complain(context, why);
    return kExitBadInvocation;
  }
  flush();
  return statusAfterOutput(kExitDone, context.out, context.err);
}

// Why results still wait after sending: the time ran out, and the last
// error of this run's sends.
std::string whyStillWaiting(const std::string& lastError, const std::string& broker, int seconds) {
  std::string why = "not sent to " + broker + " within " + std::to_string(seconds) + " s";
  return lastError.empty() ? why : why + "; last error: " + printableText(lastError);
}

// Sends what waits, for at most `seconds`; counts the refused ones and
// says why nothing could be sent, when so. `lastError` is this run's.
bool sendAll(Outbox& outbox, const std::vector<BrokerAddress>& brokers, int seconds,
             StationContext& context, std::size_t& rejected, std::string& lastError) {
  const std::string aside = (std::filesystem::u8path(outbox.folder()) / "rejected").u8string();
  OutboxSenderSettings settings;
  settings.holder = "tarnwick-station outbox --publish";
  OutboxSender sender(
      outbox, brokers,
      [&context, &rejected, aside](const OutboxNotice& notice) {
        if (notice.kind == OutboxNotice::Kind::Blocked)
          complain(context, printableText(notice.error));
        if (notice.kind != OutboxNotice::Kind::Rejected) return;
        ++rejected;
        complain(context, "result " + notice.uniqueId + ": " + printableText(notice.error) +
                              "; it is in " + aside + " now");
      },
      settings);
  std::string why;
  if (!sender.start(why)) {
    complain(context, why);
    return false;
  }
  sender.drain(seconds * 1000, false);
  sender.stop();
  lastError = sender.lastError();
  return true;
}

int publishOutbox(const std::string& folder, bool exists, const std::vector<BrokerAddress>& brokers,
                  int seconds, StationContext& context) {
  std::string broker;
  for (const BrokerAddress& address : brokers) {
    broker += (broker.empty() ? "" : ", ") + printableText(printableBrokerAddress(address));
  }
  Outbox outbox(folder);
  WaitingCount before;
  std::string why;
  if (exists && !outbox.open(why)) {
    complain(context, why);
    return kExitBadInvocation;
  }
  if (exists && !countWaiting(outbox, true, context, before)) return kExitBadInvocation;
  std::size_t rejected = 0;
  std::string lastError;
  if (before.results > 0 && !sendAll(outbox, brokers, seconds, context, rejected, lastError)) {
    return kExitFailed;
  }
  WaitingCount after;
  if (exists && !countWaiting(outbox, false, context, after)) return kExitFailed;
  if (after.results > 0) {
    complain(context, results(after.results) +
                          (after.results == 1 ? " still waits in " : " still wait in ") + folder +
                          ": " + whyStillWaiting(lastError, broker, seconds));
    return kExitFailed;
  }
  if (after.unreadable > 0) {
    complain(context, std::to_string(after.unreadable) + " files in " + folder +
                          " cannot be read as results and were not sent");
    return kExitFailed;
  }
  const std::size_t sent = before.results > rejected ? before.results - rejected : 0;
  say(context.out, results(sent) + " sent to " + broker + "\n");
  // A result the broker refused is not delivered: the run did not do its job.
  if (rejected > 0) {
    const std::string aside = (std::filesystem::u8path(folder) / "rejected").u8string();
    complain(context, results(rejected) + " refused by the broker, kept in " + aside +
                          "; `tarnwick-station outbox --outbox " + folder +
                          " --retry-rejected` puts " + (rejected == 1 ? "it" : "them") +
                          " back once the cause is mended");
  }
  return statusAfterOutput(rejected > 0 ? kExitFailed : kExitDone, context.out, context.err);
}

// The results the broker refused, back in the outbox to be sent again.
int retryRejected(const std::string& folder, bool exists, StationContext& context) {
  std::size_t moved = 0;
  std::string why;
  Outbox outbox(folder);
  if (exists && !(outbox.open(why) && outbox.retryRejected(moved, why))) {
    complain(context, why);
    return kExitBadInvocation;
  }
  say(context.out, results(moved) + " put back in " + folder + "\n");
  return statusAfterOutput(kExitDone, context.out, context.err);
}

}  // namespace

int runOutboxCommand(const OutboxOptions& options, StationContext& context) {
  std::string folder;
  bool exists = false;
  if (!outboxFolder(options, context, folder, exists)) return kExitBadInvocation;
  if (options.retryRejected) return retryRejected(folder, exists, context);
  if (options.publish.empty()) return listOutbox(folder, exists, options.json, context);
  std::vector<BrokerAddress> brokers;
  std::vector<std::string> warnings;
  std::string error;
  const bool resolved = resolveBrokers(
      BrokerLogin{options.publish, options.passwordFile, options.tls}, brokers, warnings, error);
  for (const std::string& warning : warnings) complain(context, warning);
  if (!resolved) {
    complain(context, "--publish: " + error);
    return kExitBadInvocation;
  }
  return publishOutbox(folder, exists, brokers, options.timeoutSeconds, context);
}

void registerOutboxCommand(CLI::App& app, StationContext& context, ChosenCommand& chosen) {
  auto options = std::make_shared<OutboxOptions>();
  CLI::App* outbox = addOutboxOptions(app, *options);
  outbox->callback([options, &context, &chosen] {
    chosen.run = [options, &context] { return runOutboxCommand(*options, context); };
  });
}

}  // namespace tarnwick
