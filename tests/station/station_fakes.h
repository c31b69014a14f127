#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/serial_port.h"
#include "support/fake_serial_port.h"
#include "support/temp_dir.h"

namespace tarnwick::testing {

// Hands a link a port the test keeps: every call goes to `port`.
class BorrowedPort final : public SerialPort {
 public:
  explicit BorrowedPort(FakeSerialPort& port) : port_(port) {}
  bool open(int comNumber) override { return port_.open(comNumber); }
  void close() override { port_.close(); }
  IoResult write(const char* data, std::size_t size, unsigned waitMs) override {
    return port_.write(data, size, waitMs);
  }
  IoResult read(char* buffer, std::size_t capacity, unsigned waitMs) override {
    return port_.read(buffer, capacity, waitMs);
  }

 private:
  FakeSerialPort& port_;
};

// Everything written to the temporary `file` so far.
inline std::string fileText(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  return text;
}

}  // namespace tarnwick::testing
