#include "station/run/modem_probe.h"

#include <system_error>
#include <thread>

#include "atlink/at_commands.h"
#include "atlink/at_interface.h"
#include "atlink/link_failure.h"
#include "station/run/capture_sink.h"
#include "text/trimmed_text.h"

namespace tarnwick {
namespace {

// Why a port's handshake failed: the link's own account, with what the port
// added (such as who holds it open) when there is anything.
std::string failureReason(const AtInterface& link, const CaptureSink& sink) {
  std::string reason = describeFailure(link.lastFailure());
  const std::string detail = trimmedReplyText(sink.warnings());
  if (!detail.empty()) reason += " (" + detail + ")";
  return reason;
}

// The handshake on COM `comNumber`; on success also the version query.
bool probePort(int comNumber, const SerialPortFactory& makePort, std::string& error,
               std::optional<std::string>& version) {
  CaptureSink sink;
  AtInterface link(makePort());
  link.setSink(sink);
  if (!link.initialise(comNumber)) {
    error = failureReason(link, sink);
    return false;
  }
  std::string rawReply;
  std::string body;
  if (link.sendCommand(at_command::kFirmwareVersion, rawReply, body)) {
    version = trimmedReplyText(body);
  }
  link.closePort();
  return true;
}

}  // namespace

ModemProbe probeModem(const InventoryModem& modem, const SerialPortFactory& makePort) {
  ModemProbe probe;
  probe.portErrors.resize(modem.ports.size());
  for (std::size_t i = 0; i < modem.ports.size(); ++i) {
    if (!modem.ports[i].comNumber) {
      probe.portErrors[i] = "no COM port";
      continue;
    }
    std::string error;
    if (probePort(*modem.ports[i].comNumber, makePort, error, probe.version)) {
      probe.atPort = i;
      break;
    }
    probe.portErrors[i] = error;
  }
  return probe;
}

void probeModemsInParallel(const std::vector<InventoryModem>& modems,
                           const SerialPortFactory& makePort,
                           const std::function<void(std::size_t, const ModemProbe&)>& done) {
  std::vector<std::thread> workers;
  workers.reserve(modems.size());
  for (std::size_t i = 0; i < modems.size(); ++i) {
    auto work = [&modems, &makePort, &done, i] { done(i, probeModem(modems[i], makePort)); };
    try {
      workers.emplace_back(work);
    } catch (const std::system_error&) {
      work();  // no thread to be had: this modem is probed here, the others go on
    }
  }
  for (std::thread& worker : workers) worker.join();
}

}  // namespace tarnwick
