#pragma once

#include <string>

#include "platform/serial_port.h"

namespace tarnwick {

// A USB serial tty, named from the COM number by the rule of
// tty_com_number.h and looked up in `deviceRoot` (/dev for the shipped
// program). Opened without becoming the controlling terminal, for exclusive
// use, in raw mode with the speed left as the driver set it.
class PosixSerialPort : public SerialPort {
 public:
  explicit PosixSerialPort(std::string deviceRoot);
  ~PosixSerialPort() override;

  bool open(int comNumber) override;
  std::string openFailureDetail() const override { return openFailureDetail_; }
  void close() override;
  IoResult write(const char* data, std::size_t size, unsigned waitMs) override;
  IoResult read(char* buffer, std::size_t capacity, unsigned waitMs) override;

 private:
  // Finds another process holding the tty at `path` (through `fd` when it
  // is open, else by the path) and, when there is one, names it in
  // openFailureDetail_. True when one was found.
  bool nameHolder(const std::string& path, int fd);

  std::string deviceRoot_;
  int fd_ = -1;
  std::string openFailureDetail_;
};

}  // namespace tarnwick
