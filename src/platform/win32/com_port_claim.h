#pragma once

#include <windows.h>

#include <string>

namespace tarnwick {

// A COM port's claim among Tarnwick programs, as the Linux build's lock on
// the tty is: a named semaphore per port number, taken before the port is
// opened. Windows' own drivers refuse a second opener of a COM port, but
// not every system does (Wine shares it), and two programs on one modem
// ruin both downloads. The holder leaves its program name and process id
// beside the claim, so that a refused program can say who holds the port.
// A claim that is not given back (a crash) goes with its holder's handles.
class ComPortClaim {
 public:
  ComPortClaim() = default;
  ~ComPortClaim() { release(); }
  ComPortClaim(const ComPortClaim&) = delete;
  ComPortClaim& operator=(const ComPortClaim&) = delete;

  // Takes COM `comNumber`'s claim. False when another program holds it:
  // then `holder` names it ("tarnwick-station.exe (pid 812)", or empty when
  // it cannot be told) and the last error is ERROR_ACCESS_DENIED, as a
  // port in use gives.
  bool take(int comNumber, std::string& holder);
  void release();

 private:
  void leaveHolderNote(const std::string& name);
  static std::string readHolderNote(const std::string& name);

  HANDLE claim_ = nullptr;
  HANDLE note_ = nullptr;
};

}  // namespace tarnwick
