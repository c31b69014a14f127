#pragma once

#include <string>

namespace modemsim {

// The simulated modem's serial device: a pseudo-terminal pair in raw mode.
// The simulator talks through the master; clients open the slave path. The
// simulator holds no slave descriptor of its own, so a client is the slave's
// only opener; while no client has it open, the master reads as hung up.
class PtyDevice {
 public:
  PtyDevice() = default;
  ~PtyDevice();
  PtyDevice(const PtyDevice&) = delete;
  PtyDevice& operator=(const PtyDevice&) = delete;

  // With `holdSlave` the simulator keeps a slave descriptor of its own, as
  // a software modem such as iaxmodem does; clients then see it among the
  // slave's openers.
  bool open(bool holdSlave, std::string* error);

  // Serves the existing tty at `path` instead of a pseudo-terminal, e.g. the
  // gadget side /dev/ttyGSn of a USB serial function: the simulator reads and
  // writes it directly, in raw mode. Clients are on the tty's other end.
  bool openExisting(const std::string& path, std::string* error);

  // After the host side hung up an existing tty (its USB gadget unplugged)
  // the descriptor stays dead: opens the tty afresh on the same descriptor
  // number, with input and output left from before the hang-up dropped.
  bool reopenExisting(std::string* error);
  bool servesExistingTty() const { return existingTty_; }

  // Creates `linkPath` as a symlink to the slave. A stale symlink there is
  // replaced; any other file makes this fail.
  bool createLink(const std::string& linkPath, std::string* error);

  // Closes both sides and removes the link: the device is gone.
  void vanish();

  // Drops whatever the simulator sent that no client has read yet.
  void discardUnreadOutput();

  int masterFd() const { return masterFd_; }
  const std::string& slavePath() const { return slavePath_; }

 private:
  void removeLink();

  int masterFd_ = -1;
  int heldSlaveFd_ = -1;
  bool existingTty_ = false;
  std::string slavePath_;
  std::string linkPath_;
};

}  // namespace modemsim
