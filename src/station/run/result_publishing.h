#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "station/cfx/cfx_resource.h"
#include "station/model/modem_record.h"
#include "station/publish/broker_address.h"
#include "station/publish/outbox.h"
#include "station/publish/outbox_sender.h"

namespace tarnwick {

// --publish URL... [--broker-password-file FILE] [--outbox DIR] [--cfx-handle HANDLE].
struct PublishSettings {
  std::vector<std::string> urls;  // one per broker of a cluster; none: nothing is published
  std::string outbox;             // empty: the per-user state folder's
  std::string handle;             // empty: Tarnwick.Station.<host name>
  std::string passwordFile;       // --broker-password-file; empty: none
  TlsFiles tls;                   // --tls-ca, --tls-cert, --tls-key
  int heartbeatSeconds = 0;       // more than 0: a CFX.Heartbeat this often (watch)
  std::string expectVersion;      // what the check after the re-plug wants (watch)
  // The command that sends, as another sender of the same outbox is told.
  std::string command = "tarnwick-station flash";
  // Watch: CFX.EndpointConnected goes first, before any result of this
  // run, and `shutDown` puts CFX.EndpointShuttingDown.
  bool endpointLife = false;
  // Watch: what each heartbeat says, the image as the active recipe and
  // the active faults (read on the sender's thread; none: null).
  // --cfx-listen: where the station takes requests (EndpointConnected's
  // RequestNetworkUri); empty: it takes none.
  std::string requestUri;
  std::string recipeName;
  std::string recipeRevision;
  std::function<std::vector<CfxFault>()> activeFaults;
};

// What the outbox's sender has said since it was last asked.
struct PublishNews {
  bool stateChanged = false;
  std::size_t pending = 0;  // results waiting
  // When the oldest waiting result was put; none waits: the epoch.
  std::chrono::system_clock::time_point oldest{};
  std::vector<std::pair<std::string, std::string>> rejected;  // unique id, the broker's error
  std::vector<std::string> blocked;  // why nothing could be sent, each once as it came
  std::string broker;                // the broker connected to or being tried, as it may be shown
};

// A run's results on their way to the broker: each unit's result message
// goes into the outbox (on disk) before its record is written, and one
// sender thread takes it from there. Used by the run's reading thread; the
// sender's notices are kept under a lock until `takeNews`.
class ResultPublishing {
 public:
  ResultPublishing() = default;
  ~ResultPublishing();
  ResultPublishing(const ResultPublishing&) = delete;
  ResultPublishing& operator=(const ResultPublishing&) = delete;

  // Checks the URL, finds the password, opens the outbox, makes sure it
  // can take a result, and starts sending what waits there (earlier runs'
  // results first). False with the line to say; `warnings` gets lines to
  // say either way.
  bool start(const PublishSettings& settings, std::vector<std::string>& warnings, std::string& why);
  bool active() const { return sender_ != nullptr; }

  // Gives `record` its unit's message id, once (a cycle's records share it).
  bool name(ModemRecord& record, std::string& why);
  // Unit `unit` (the run's modem or cycle number) is known and its work
  // begins: its CFX.Production.WorkStarted goes into the outbox, with a
  // transaction of its own that its later messages share.
  bool workStarted(std::size_t unit, const ModemRecord& record, std::string& why);
  // The unit's result is final: its UnitsTested and then its WorkCompleted
  // go into the outbox (after a WorkStarted, should the unit have had none),
  // on disk before this returns true.
  bool put(std::size_t unit, const ModemRecord& record, std::string& why);
  // Any other message of the station into the outbox, after what is there.
  bool putMessage(const CfxMessage& message, std::string& why);
  // A message the outbox cannot take, sent directly once (see OutboxSender).
  void sendDirect(const CfxMessage& message);
  // The run ends cleanly: CFX.EndpointShuttingDown goes into the outbox,
  // after everything else of the run (watch).
  bool shutDown(std::string& why);
  // This station's CFX handle.
  const std::string& handle() const { return settings_.handle; }

  PublishNews takeNews();
  // The run is over: what waits is given a few seconds to go (not once the
  // broker proved unreachable); then the sender stops. The results still
  // waiting.
  std::size_t finish();

  const std::string& folder() const { return folder_; }
  // The files in the outbox at the start that are no result, each "NAME:
  // why" as `outbox` names them: never sent, never deleted.
  const std::vector<std::string>& unreadable() const { return unreadable_; }
  // The options that send what is left in the outbox later (no password):
  // `--publish URL`, and the password file when one was given.
  std::string sendLaterOptions() const;
  // The broker in use at `finish` (none published: empty), as it may be shown.
  const std::string& lastBroker() const { return lastBroker_; }

 private:
  void noticed(const OutboxNotice& notice);
  bool putWork(const CfxUnitResult& unit, bool started, const ModemRecord& record,
               std::string& why);

  PublishSettings settings_;
  std::string folder_;
  std::vector<std::string> printableUrls_;  // each broker's URL as it may be shown
  std::string lastBroker_;
  std::unique_ptr<Outbox> outbox_;
  std::unique_ptr<OutboxSender> sender_;
  std::mutex lock_;  // guards news_
  PublishNews news_;
  std::vector<std::string> unreadable_;
  std::map<std::size_t, std::string> transactions_;  // by unit: its work has started
};

// The station's CFX handle when none is given: "Tarnwick.Station.<host>".
std::string defaultCfxHandle();

}  // namespace tarnwick
