#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace tarnwick::testing {

// A scripted serial port. Reads take the next scripted event: a chunk of
// bytes (handed out up to the request's capacity), a silent read, or a read
// error. When the script is empty, reads are silent. Every call is recorded.
class FakeSerialPort : public SerialPort {
 public:
  // Called with each complete line written (without its carriage return);
  // returns the bytes the modem answers with.
  using Responder = std::function<std::string(const std::string& line)>;

  bool open(int comNumber) override;
  void close() override;
  IoResult write(const char* data, std::size_t size, unsigned waitMs) override;
  IoResult read(char* buffer, std::size_t capacity, unsigned waitMs) override;

  // Script.
  void failOpen(int errorCode) { openError_ = errorCode; }
  void queueBytes(const std::string& bytes);
  void queueSilence(int reads = 1);
  void queueReadError(int errorCode, int reads = 1);
  void failWrites(IoStatus status, int errorCode = 0);
  void acceptAtMostPerWrite(std::size_t bytes) { writeChunk_ = bytes; }
  void setResponder(Responder responder) { responder_ = std::move(responder); }

  // Record.
  std::vector<int> opened;
  int closes = 0;
  std::string written;
  int writeRequests = 0;
  int readRequests = 0;
  int silentReads = 0;
  std::vector<unsigned> readWaits;
  bool isOpen = false;

 private:
  struct ReadEvent {
    enum Kind { Bytes, Silence, Error } kind;
    std::string bytes;
    int errorCode;
  };
  void noteWritten(const char* data, std::size_t count);

  std::deque<ReadEvent> script_;
  int openError_ = 0;
  IoStatus writeStatus_ = IoStatus::Done;
  int writeError_ = 0;
  std::size_t writeChunk_ = 0;
  std::string pendingLine_;
  Responder responder_;
};

}  // namespace tarnwick::testing
