#include "station/run/worker.h"

#include <chrono>
#include <thread>

#include "atlink/at_commands.h"
#include "atlink/at_interface.h"
#include "station/run/answering_port.h"
#include "station/run/imei_query.h"
#include "station/run/worker_sink.h"
#include "text/iso_time.h"
#include "text/trimmed_text.h"

namespace tarnwick {
namespace {

using Clock = std::chrono::steady_clock;

// The worker's port: once a stop is requested it refuses every further
// write, so the link ends after the transaction under way and sends nothing
// more. Reads go on, so that transaction ends as it would have.
class StoppablePort final : public SerialPort {
 public:
  StoppablePort(std::unique_ptr<SerialPort> port, const std::atomic<bool>& stop)
      : port_(std::move(port)), stop_(stop) {}

  bool open(int comNumber) override { return !refuse() && port_->open(comNumber); }
  std::string openFailureDetail() const override { return port_->openFailureDetail(); }
  void close() override { port_->close(); }
  IoResult write(const char* data, std::size_t size, unsigned waitMs) override {
    if (refuse()) return IoResult{IoStatus::TimedOut, 0, 0};
    return port_->write(data, size, waitMs);
  }
  IoResult read(char* buffer, std::size_t capacity, unsigned waitMs) override {
    return port_->read(buffer, capacity, waitMs);
  }
  bool refused() const { return refused_; }

 private:
  bool refuse() {
    if (stop_.load()) refused_ = true;
    return refused_;
  }

  std::unique_ptr<SerialPort> port_;
  const std::atomic<bool>& stop_;
  bool refused_ = false;
};

// A unit's wait for the MES: counted in the gate and told on the unit's
// row (each new reason once) while it lasts, and ended however the wait
// ends.
class MesWaiting {
 public:
  MesWaiting(MesGate& gate, EventQueue& events, std::size_t modem)
      : gate_(gate), events_(events), modem_(modem) {}
  ~MesWaiting() {
    if (!waiting_) return;
    gate_.unitWaits(false);
    tell("");
  }
  void because(const std::string& reason) {
    if (!waiting_) gate_.unitWaits(true);
    waiting_ = true;
    if (reason != reason_) tell(reason);
    reason_ = reason;
  }

 private:
  void tell(const std::string& text) {
    StationEvent event;
    event.kind = EventKind::MesWait;
    event.modem = modem_;
    event.text = text;
    events_.put(std::move(event));
  }

  MesGate& gate_;
  EventQueue& events_;
  std::size_t modem_;
  bool waiting_ = false;
  std::string reason_;
};

// One modem's flash, step by step; every step returns false once the
// modem's result is settled.
class Flash {
 public:
  Flash(const FlashTarget& target, std::size_t index, const WorkerShared& shared,
        EventQueue& events)
      : target_(target),
        shared_(shared),
        events_(events),
        sink_(events, index),
        ports_(target.ports),
        port_(new StoppablePort(shared.makePort(), *shared.stop)),
        link_(std::unique_ptr<SerialPort>(port_), shared.image->readerFactory()) {
    link_.setSink(sink_);
    record_ = shared.recordBase;
    record_.location = target.location;
    record_.serial = target.serial;
    record_.vid = target.vid;
    record_.pid = target.pid;
    if (!target.ports.empty()) choosePort(target.ports.front());
    index_ = index;
  }

  ModemRecord run() {
    startedAt_ = Clock::now();
    record_.started = isoTimeUtc(std::chrono::system_clock::now());
    put(EventKind::ModemStart);
    // The unit's work begins (WorkStarted) only once the MES has let it in:
    // nothing is sent for a unit it refuses.
    if (connect() && askVersion() && askImei() && notAlreadyThere() && allowedByMes() &&
        unitKnown() && download()) {
      pass();
    }
    link_.closePort();
    finishTimes();
    record_.log = sink_.log();
    return record_;
  }

 private:
  void choosePort(const FlashTarget::Port& port) {
    record_.port = port.comNumber;
    record_.tty = port.tty;
    record_.interfaceNumber = port.interfaceNumber;
  }

  // The first port, in interface order, that answers the handshake; with a
  // settle time the ports are tried again until it has passed (in watch, as
  // the device list shows them at each round).
  bool connect() {
    if (ports_.empty() && !shared_.currentPorts) return noSerialPort();
    PortSearchRules rules;
    rules.settleMs = shared_.settleMs;
    rules.currentPorts = shared_.currentPorts;
    rules.stopped = [this] { return port_->refused() || shared_.stop->load(); };
    rules.trying = [this](const FlashTarget::Port& port) {
      choosePort(port);
      StationEvent event = makeEvent(EventKind::Port);
      event.port = port.comNumber;
      events_.put(std::move(event));
      sink_.setStage(Stage::Connect);
    };
    const FlashTarget::Port* answered = nullptr;
    switch (findAnsweringPort(link_, ports_, rules, answered)) {
      case PortSearch::Answered:
        return true;
      case PortSearch::Stopped:
        return abort("connect");
      case PortSearch::NoAnswer:
        break;
    }
    if (ports_.empty()) return noSerialPort();
    const bool opened = link_.lastFailure().kind != FailureKind::OpenFailed;
    std::string reason = failureReason();
    if (ports_.size() > 1) reason = "no port answered the handshake; last: " + reason;
    return fail(opened ? "handshake" : "connect", reason);
  }

  bool noSerialPort() { return fail("connect", "the modem has no serial port"); }

  // The unit is known by what it said of itself: its work begins.
  bool unitKnown() {
    StationEvent event = makeEvent(EventKind::UnitKnown);
    event.record = record_;
    events_.put(std::move(event));
    return true;
  }

  // A modem that already runs the wanted version is left as it is.
  bool notAlreadyThere() {
    if (shared_.skipVersion.empty() || record_.versionBefore != shared_.skipVersion) return true;
    record_.result = FlashResult::Skipped;
    record_.stage = stageName(Stage::Version);
    record_.reason = "already runs " + shared_.skipVersion;
    return false;
  }

  // The version before; when the query fails the link is set up again.
  bool askVersion() {
    sink_.setStage(Stage::Version);
    std::string raw;
    std::string body;
    if (link_.sendCommand(at_command::kFirmwareVersion, raw, body)) {
      record_.versionBefore = trimmedReplyText(body);
    } else {
      if (port_->refused()) return abort("version");
      sink_.appendLog("AT+CGMR failed: " + describeFailure(link_.lastFailure()) + "\n");
      if (!link_.initialise(record_.port)) {
        return port_->refused() ? abort("version") : fail("version", failureReason());
      }
    }
    StationEvent event = makeEvent(EventKind::Version);
    event.text = record_.versionBefore;
    events_.put(std::move(event));
    return true;
  }

  // The unit's IMEI, part of the version step; a modem that gives none is
  // flashed all the same, the link set up again when the query failed.
  bool askImei() {
    std::string note;
    const bool open = tarnwick::askImei(link_, record_.imei, note);
    if (!note.empty()) sink_.appendLog(note + "\n");
    if (open) return true;
    if (port_->refused()) return abort("version");
    if (link_.initialise(record_.port)) return true;
    return port_->refused() ? abort("version") : fail("version", failureReason());
  }

  // With --validate, the MES's Passed answer before any download command.
  // Without an answer `watch` keeps the unit waiting and asks again until
  // one comes, the unit is pulled or the run stops; `flash` refuses it.
  bool allowedByMes() {
    if (shared_.mesGate == nullptr) return true;
    MesGate& gate = *shared_.mesGate;
    sink_.setStage(Stage::Validate);
    const CfxUnitToValidate unit = unitToValidate();
    MesWaiting waiting(gate, events_, index_);
    for (;;) {
      const MesGateAnswer answer = gate.ask(unit);
      if (answer.kind == MesGateAnswer::Kind::Passed) {
        sink_.appendLog("the MES passed the unit\n");
        return true;
      }
      if (answer.kind == MesGateAnswer::Kind::Refused || !gate.waitsForAnswer()) {
        return refuse(answer.reason);
      }
      waiting.because(answer.reason);
      if (shared_.stop->load() || !pause(gate.retryMs())) {
        if (shared_.stop->load()) return abort("validate");
        return refuse("pulled while it waited for the MES (" + answer.reason + ")");
      }
    }
  }

  // The unit as UnitsTested names it, with its slot.
  CfxUnitToValidate unitToValidate() const {
    CfxUnitToValidate unit;
    unit.unitIdentifier = !record_.imei.empty()     ? record_.imei
                          : !record_.serial.empty() ? record_.serial
                                                    : record_.location;
    if (record_.slotIndex > 0) unit.positionNumber = record_.slotIndex;
    unit.positionName = record_.slot;
    return unit;
  }

  // Waits `ms` before the MES is asked again; false once the run stops or
  // the unit has left the device list.
  bool pause(int ms) {
    constexpr int kStepMs = 100;
    for (int waited = 0; waited < ms; waited += kStepMs) {
      if (shared_.stop->load()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
    }
    return shared_.gone == nullptr || !shared_.gone->load();
  }

  bool refuse(const std::string& reason) {
    record_.result = FlashResult::Refused;
    record_.stage = stageName(Stage::Validate);
    record_.reason = reason;
    sink_.appendLog(reason + "\n");
    return false;
  }

  bool download() {
    const bool sent = link_.downloadImage(shared_.image->path());
    // The port is closed as soon as the download has ended.
    link_.closePort();
    record_.bytesSent = sink_.bytesAcknowledged();
    record_.packets = sink_.packetsAcknowledged();
    const std::string stage = sink_.stage().empty() ? stageName(Stage::PacketSize) : sink_.stage();
    if (!sent) return port_->refused() ? abort(stage) : fail(stage, failureReason());
    if (!shared_.image->unchanged()) return fail("end", "image changed during the run");
    return true;
  }

  std::string failureReason() {
    const LinkFailure& failure = link_.lastFailure();
    std::string reason = describeFailure(failure);
    const bool ioFailed =
        failure.kind == FailureKind::ReadError || failure.kind == FailureKind::WriteFailed;
    if (ioFailed && shared_.portPresent && !shared_.portPresent(record_.port)) {
      reason = "vanished (" + reason + ")";
    }
    // What stands in the way of an open (who holds the port) belongs on the row.
    const std::string detail = trimmedReplyText(port_->openFailureDetail());
    if (failure.kind == FailureKind::OpenFailed && !detail.empty()) reason += " (" + detail + ")";
    return reason;
  }

  void pass() {
    record_.result = FlashResult::Pass;
    record_.stage = stageName(Stage::End);
    record_.reason = "";
  }

  bool fail(const std::string& stage, const std::string& reason) {
    record_.result = FlashResult::Fail;
    record_.stage = stage;
    record_.reason = reason;
    return false;
  }

  bool abort(const std::string& stage) {
    record_.result = FlashResult::Aborted;
    record_.stage = stage;
    record_.reason = "stopped by the operator";
    if (sink_.inDownloadMode()) record_.reason += "; the modem is left in download mode";
    return false;
  }

  void finishTimes() {
    record_.ended = isoTimeUtc(std::chrono::system_clock::now());
    record_.seconds = std::chrono::duration<double>(Clock::now() - startedAt_).count();
    record_.kibPerS = record_.seconds > 0 ? record_.bytesSent / 1024.0 / record_.seconds : 0;
  }

  StationEvent makeEvent(EventKind kind) {
    StationEvent event;
    event.kind = kind;
    event.modem = index_;
    return event;
  }
  void put(EventKind kind) { events_.put(makeEvent(kind)); }

  const FlashTarget& target_;
  const WorkerShared& shared_;
  EventQueue& events_;
  WorkerSink sink_;
  std::vector<FlashTarget::Port> ports_;  // as the last try took them
  StoppablePort* port_;                   // owned by the link
  AtInterface link_;
  ModemRecord record_;
  std::size_t index_ = 0;
  Clock::time_point startedAt_{};
};

}  // namespace

void Worker::run() {
  if (shared_.slots != nullptr && !shared_.slots->acquire(*shared_.stop)) {
    putEnd(
        untouchedRecord(FlashResult::Aborted, "stopped by the operator before the modem's turn"));
    return;
  }
  Flash flash(target_, index_, shared_, events_);
  ModemRecord record = flash.run();
  if (shared_.slots != nullptr) shared_.slots->release();
  putEnd(std::move(record));
}

void Worker::fail(const std::string& reason) {
  putEnd(untouchedRecord(FlashResult::Fail, reason));
}

ModemRecord Worker::untouchedRecord(FlashResult result, const std::string& reason) const {
  ModemRecord record = shared_.recordBase;
  record.location = target_.location;
  record.serial = target_.serial;
  record.vid = target_.vid;
  record.pid = target_.pid;
  if (!target_.ports.empty()) record.port = target_.ports.front().comNumber;
  record.started = record.ended = isoTimeUtc(std::chrono::system_clock::now());
  record.result = result;
  record.stage = stageName(Stage::Connect);
  record.reason = reason;
  return record;
}

void Worker::putEnd(ModemRecord record) {
  StationEvent end;
  end.kind = EventKind::ModemEnd;
  end.modem = index_;
  end.record = std::move(record);
  events_.put(std::move(end));
}

}  // namespace tarnwick
