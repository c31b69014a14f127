#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/image_file.h"
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

// The system's image file, whose bytes change once `changed` is set while
// its size and times stay as they were opened, as a write through a shared
// writable mapping can leave them: the first byte of every read is flipped.
class QuietlyChangingImage final : public ImageFile {
 public:
  bool open(const std::string& path) override { return file_->open(path); }
  std::uint64_t size() override { return file_->size(); }
  bool read(unsigned char* buffer, std::size_t capacity, std::size_t& got) override {
    return file_->read(buffer, capacity, got);
  }
  bool readAt(std::uint64_t offset, unsigned char* buffer, std::size_t capacity,
              std::size_t& got) override {
    const bool ok = file_->readAt(offset, buffer, capacity, got);
    if (ok && got > 0 && changed) buffer[0] ^= 0xFF;
    return ok;
  }
  bool unchangedSinceOpen() override { return file_->unchangedSinceOpen(); }
  void close() override { file_->close(); }
  bool changed = false;

 private:
  std::unique_ptr<ImageFile> file_ = makeReadSharedImageFile();
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
