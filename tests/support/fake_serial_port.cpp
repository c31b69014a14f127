#include "support/fake_serial_port.h"

#include <algorithm>
#include <cstring>

#include "platform/last_error.h"

namespace tarnwick::testing {

bool FakeSerialPort::open(int comNumber) {
  opened.push_back(comNumber);
  if (openError_ != 0) {
    setLastErrorCode(openError_);
    return false;
  }
  isOpen = true;
  return true;
}

void FakeSerialPort::close() {
  ++closes;
  isOpen = false;
}

IoResult FakeSerialPort::write(const char* data, std::size_t size, unsigned) {
  ++writeRequests;
  if (writeStatus_ == IoStatus::Failed) {
    setLastErrorCode(writeError_);
    return IoResult{IoStatus::Failed, 0, writeError_};
  }
  if (writeStatus_ == IoStatus::TimedOut) return IoResult{IoStatus::TimedOut, 0, 0};
  std::size_t count = writeChunk_ == 0 ? size : std::min(size, writeChunk_);
  noteWritten(data, count);
  return IoResult{IoStatus::Done, count, 0};
}

void FakeSerialPort::noteWritten(const char* data, std::size_t count) {
  written.append(data, count);
  for (std::size_t i = 0; i < count; ++i) {
    if (data[i] != '\r') {
      pendingLine_.push_back(data[i]);
      continue;
    }
    if (responder_) queueBytes(responder_(pendingLine_));
    pendingLine_.clear();
  }
}

IoResult FakeSerialPort::read(char* buffer, std::size_t capacity, unsigned waitMs) {
  ++readRequests;
  readWaits.push_back(waitMs);
  if (script_.empty() || script_.front().kind == ReadEvent::Silence) {
    if (!script_.empty()) script_.pop_front();
    ++silentReads;
    return IoResult{IoStatus::TimedOut, 0, 0};
  }
  ReadEvent& next = script_.front();
  if (next.kind == ReadEvent::Error) {
    int code = next.errorCode;
    script_.pop_front();
    setLastErrorCode(code);
    return IoResult{IoStatus::Failed, 0, code};
  }
  std::size_t count = std::min(capacity, next.bytes.size());
  std::memcpy(buffer, next.bytes.data(), count);
  next.bytes.erase(0, count);
  if (next.bytes.empty()) script_.pop_front();
  return IoResult{IoStatus::Done, count, 0};
}

void FakeSerialPort::queueBytes(const std::string& bytes) {
  if (!bytes.empty()) script_.push_back(ReadEvent{ReadEvent::Bytes, bytes, 0});
}

void FakeSerialPort::queueSilence(int reads) {
  for (int i = 0; i < reads; ++i) script_.push_back(ReadEvent{ReadEvent::Silence, {}, 0});
}

void FakeSerialPort::queueReadError(int errorCode, int reads) {
  for (int i = 0; i < reads; ++i) script_.push_back(ReadEvent{ReadEvent::Error, {}, errorCode});
}

void FakeSerialPort::failWrites(IoStatus status, int errorCode) {
  writeStatus_ = status;
  writeError_ = errorCode;
}

}  // namespace tarnwick::testing
