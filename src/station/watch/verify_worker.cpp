#include "station/watch/verify_worker.h"

#include "atlink/at_commands.h"
#include "atlink/at_interface.h"
#include "station/run/answering_port.h"
#include "station/run/capture_sink.h"
#include "station/run/imei_query.h"
#include "text/trimmed_text.h"

namespace tarnwick {
namespace {

// Asks the version on the open link; false with `why` when it fails.
bool askVersion(AtInterface& link, std::string& version, std::string& why) {
  std::string raw;
  std::string body;
  if (!link.sendCommand(at_command::kFirmwareVersion, raw, body)) {
    why = "AT+CGMR failed: " + describeFailure(link.lastFailure());
    return false;
  }
  version = trimmedReplyText(body);
  return true;
}

}  // namespace

void runVerify(const VerifyJob& job, EventQueue& events) {
  CaptureSink sink;
  AtInterface link(job.makePort());
  link.setSink(sink);
  PortSearchRules rules;
  rules.settleMs = job.settleMs;
  rules.currentPorts = job.currentPorts;
  rules.stopped = [&job] { return job.stop->load(); };
  std::vector<FlashTarget::Port> ports = job.target.ports;
  const FlashTarget::Port* answered = nullptr;
  std::string note;  // why no IMEI: the version decides without one
  StationEvent event;
  event.kind = EventKind::VerifyEnd;
  event.modem = job.cycle;
  switch (findAnsweringPort(link, ports, rules, answered)) {
    case PortSearch::Answered:
      event.port = answered->comNumber;
      event.answered = askVersion(link, event.text, event.text);  // one of the two is set
      if (event.answered) askImei(link, event.imei, note);
      break;
    case PortSearch::Stopped:
      event.text = "stopped by the operator";
      break;
    case PortSearch::NoAnswer:
      event.text = ports.empty() ? "the modem has no serial port"
                                 : "no port answered the handshake; last: " +
                                       describeFailure(link.lastFailure());
      break;
  }
  link.closePort();
  event.at = StationEvent::Clock::now();
  events.put(std::move(event));
}

}  // namespace tarnwick
