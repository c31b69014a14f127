#pragma once

#include <string>

#include "station/cfx/cfx_requests.h"
#include "station/requests/cfx_endpoint.h"
#include "station/requests/mes_status.h"

namespace tarnwick {

// What the MES said of a unit, as the worker acts on it.
struct MesGateAnswer {
  enum class Kind {
    Passed,    // the unit may be flashed
    Refused,   // the MES refused it: `reason` has its words and code
    NoAnswer,  // no answer that can be read: `reason` says why (fail closed)
  };
  Kind kind = Kind::NoAnswer;
  std::string reason;
};

// The interlock as a worker sees it (a fake in tests).
class MesGate {
 public:
  virtual ~MesGate() = default;
  // Asks the MES whether `unit` may be flashed; `unit`'s handle and
  // target are the gate's to fill. Blocks the calling worker only.
  virtual MesGateAnswer ask(const CfxUnitToValidate& unit) = 0;
  // True: a unit without an answer waits and asks again (watch); false:
  // it is refused at once (flash).
  virtual bool waitsForAnswer() const = 0;
  // How long a waiting unit waits before it asks again.
  virtual int retryMs() const = 0;
  // A unit begins or ends waiting for the MES.
  virtual void unitWaits(bool waits) = 0;
};

struct MesInterlockSettings {
  CfxEndpoint mes;
  std::string handle;  // this station's CFX handle
  double timeoutSeconds = 10;
  bool waitForAnswer = false;
  int retryMs = 3000;
};

// The interlock: one ValidateUnitsRequest per ask, on a connection of its
// own, so units never hold each other up.
class MesInterlock final : public MesGate {
 public:
  explicit MesInterlock(MesInterlockSettings settings) : settings_(std::move(settings)) {}

  MesGateAnswer ask(const CfxUnitToValidate& unit) override;
  bool waitsForAnswer() const override { return settings_.waitForAnswer; }
  int retryMs() const override { return settings_.retryMs; }
  void unitWaits(bool waits) override { status_.unitWaits(waits); }

  const MesStatus& status() const { return status_; }

 private:
  MesInterlockSettings settings_;
  MesStatus status_;
};

// The gate's answer to what the MES said (`validation`) or why it said
// nothing; the reason texts the rows and records show.
MesGateAnswer mesGateAnswer(const CfxValidation& validation);
std::string mesSilenceReason(double timeoutSeconds, bool timedOut, const std::string& why);

}  // namespace tarnwick
