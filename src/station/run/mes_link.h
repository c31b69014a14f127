#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "station/requests/mes_interlock.h"
#include "station/requests/request_listener.h"
#include "station/run/image_source.h"

namespace tarnwick {

// What a run asks of the MES and answers it.
struct MesLinkSettings {
  std::string validate;  // --validate URL; empty: no interlock
  double validateTimeoutSeconds = 10;
  std::string listen;          // --cfx-listen URL; empty: no listener
  std::string handle;          // this station's CFX handle; empty: the default
  bool waitForAnswer = false;  // watch: a unit without an answer waits and asks again
  std::string toolVersion;
  // The station's active faults, for a MES that asks (watch: every fault
  // the station has, MES_UNREACHABLE among them); none: the interlock's own.
  std::function<std::vector<CfxFault>()> activeFaults;
};

// The run's side of the MES: the interlock each worker asks (--validate)
// and the listener that answers the MES's requests (--cfx-listen). Set up
// before any modem is touched; used by the run's own thread, the workers
// and the listener's thread.
class MesLink {
 public:
  MesLink() = default;
  ~MesLink();
  MesLink(const MesLink&) = delete;
  MesLink& operator=(const MesLink&) = delete;

  // Checks the URLs and starts the listener; false with the line to say.
  // `warnings` gets lines to say either way.
  bool start(const MesLinkSettings& settings, const ImageSource& image,
             std::vector<std::string>& warnings, std::string& why);
  // The interlock the workers ask; null without --validate.
  MesGate* gate() { return interlock_.get(); }
  // What is known of the MES now (reachable, units waiting); all clear
  // without --validate.
  MesStatus::View status() const;

  // Where the listener takes requests (EndpointConnected's and the
  // heartbeat's RequestNetworkUri; its RequestTargetAddress is the handle):
  // empty without --cfx-listen.
  const std::string& requestUri() const { return requestUri_; }

  // A line to say when the MES has become unreachable or reachable again
  // since the last call; empty when nothing changed.
  std::string news();

 private:
  std::unique_ptr<MesInterlock> interlock_;
  std::unique_ptr<RequestListener> listener_;  // stopped before the interlock goes
  bool toldUnreachable_ = false;
  std::string mesUrl_;
  std::string requestUri_;
};

}  // namespace tarnwick
