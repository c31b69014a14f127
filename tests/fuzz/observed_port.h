#pragma once

#include <cerrno>
#include <cstddef>
#include <string>

#include "platform/last_error.h"
#include "support/fake_serial_port.h"

namespace tarnwick::fuzzing {

// The scripted port of the unit tests, which also keeps every byte it has
// handed out, in order, and refuses COM numbers that no platform has (0 and
// below), as the Win32 and the Linux ports do.
class ObservedPort : public testing::FakeSerialPort {
 public:
  bool open(int comNumber) override {
    if (comNumber <= 0) {
      opened.push_back(comNumber);
      setLastErrorCode(ENOENT);
      return false;
    }
    return FakeSerialPort::open(comNumber);
  }

  IoResult read(char* buffer, std::size_t capacity, unsigned waitMs) override {
    IoResult result = FakeSerialPort::read(buffer, capacity, waitMs);
    if (result.status == IoStatus::Done) delivered.append(buffer, result.count);
    return result;
  }

  // Every byte handed out by a completed read, NULs included.
  std::string delivered;
};

}  // namespace tarnwick::fuzzing
