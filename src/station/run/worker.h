#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "station/model/flash_target.h"
#include "station/model/modem_record.h"
#include "station/requests/mes_interlock.h"
#include "station/run/event_queue.h"
#include "station/run/image_source.h"
#include "station/run/job_slots.h"

namespace tarnwick {

// What every worker of a run shares: read-only settings, the image, the
// stop flag, the job slots.
struct WorkerShared {
  ModemRecord recordBase;  // run, host, tool version, image fields
  ImageSource* image = nullptr;
  SerialPortFactory makePort = makeSystemSerialPort;
  // Whether COM `comNumber` is still in the device list (for "vanished").
  std::function<bool(int comNumber)> portPresent;
  const std::atomic<bool>* stop = nullptr;
  JobSlots* slots = nullptr;
  // Watch: the handshake is retried this long (see PortSearchRules), and a
  // modem whose version before equals `skipVersion` is SKIPPED.
  int settleMs = 0;
  std::string skipVersion;
  // Watch: the modem's ports as the device list shows them now, for each
  // retry within the settle time (see PortSearchRules).
  std::function<bool(std::vector<FlashTarget::Port>&)> currentPorts;
  // With --validate: the MES is asked about each unit once its identity is
  // known, and nothing is downloaded without its Passed answer. Null: no
  // interlock.
  MesGate* mesGate = nullptr;
  // Watch: set by the run's thread once the unit has left the device list,
  // so a unit waiting for the MES stops waiting. (Asked here rather than of
  // the device list: the list is taken by the run's thread alone, as two
  // threads listing at once upset SetupAPI under Wine.)
  const std::atomic<bool>* gone = nullptr;
};

// Flashes one modem on the calling thread with a link of its own: finds its
// AT port, asks its version, downloads the image, closes the port, and puts
// its events (the record last) on the queue.
class Worker {
 public:
  Worker(const FlashTarget& target, std::size_t index, const WorkerShared& shared,
         EventQueue& events)
      : target_(target), index_(index), shared_(shared), events_(events) {}

  void run();

  // Ends the modem FAIL at stage "connect" with `reason` without touching
  // it (no thread could be had to flash it): only its record is put.
  void fail(const std::string& reason);

 private:
  ModemRecord untouchedRecord(FlashResult result, const std::string& reason) const;
  void putEnd(ModemRecord record);

  const FlashTarget& target_;
  std::size_t index_;
  const WorkerShared& shared_;
  EventQueue& events_;
};

}  // namespace tarnwick
