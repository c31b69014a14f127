#pragma once

#include <cstdio>
#include <functional>
#include <memory>

#include "platform/serial_port.h"
#include "platform/usb_inventory_source.h"
#include "station/model/exit_status.h"

namespace tarnwick {

// What every subcommand works with: the system (or, in tests, fakes of the
// same seams) and the two output streams.
struct StationContext {
  UsbInventorySource& inventory;
  SerialPortFactory makePort;
  std::FILE* out;
  std::FILE* err;
};

// The work of the subcommand the command line chose, set by that
// subcommand's parse callback and run once parsing is over. Its result is
// the program's exit status.
struct ChosenCommand {
  std::function<int()> run;
};

}  // namespace tarnwick
