// The modem's COM port through overlapped Win32 I/O. Every request is
// started, waited for with a bound and, when the bound passes, cancelled and
// waited for again until it has ended, so that its OVERLAPPED and buffer are
// never left in the system's hands after a call returns.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/serial_port.h"
#include "platform/win32/com_port_claim.h"

namespace tarnwick {
namespace {

// The port receives and sends in blocks of this size; the driver keeps this
// much in each queue.
constexpr DWORD kQueueSize = 65536;

// With these values a read returns at once with what has arrived, and when
// nothing has, as soon as one byte arrives or after 10 ms with none. Writes
// have no total time-out of their own: the caller's wait bounds them.
constexpr DWORD kSilentReadTimeoutMs = 10;

COMMTIMEOUTS linkTimeouts() {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = kSilentReadTimeoutMs;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 0;
  return timeouts;
}

DWORD clampToDword(std::size_t size) {
  return static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD));
}

IoResult done(DWORD count) {
  IoResult result;
  result.status = IoStatus::Done;
  result.count = count;
  return result;
}

IoResult timedOut(DWORD count) {
  IoResult result;
  result.status = IoStatus::TimedOut;
  result.count = count;
  return result;
}

// Leaves `code` as the thread's last error, where the error report reads it.
IoResult failed(DWORD code) {
  IoResult result;
  result.status = IoStatus::Failed;
  result.errorCode = static_cast<int>(code);
  SetLastError(code);
  return result;
}

// How a started request ended.
struct Outcome {
  bool finished = false;  // ended on its own within the wait
  bool ok = false;        // GetOverlappedResult succeeded
  DWORD count = 0;        // bytes moved, also by a request that was cancelled
  DWORD error = 0;        // GetOverlappedResult's error when !ok
};

class Win32SerialPort final : public SerialPort {
 public:
  Win32SerialPort() = default;
  ~Win32SerialPort() override { close(); }
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;

  bool open(int comNumber) override;
  std::string openFailureDetail() const override { return openFailureDetail_; }
  void close() override;
  IoResult write(const char* data, std::size_t size, unsigned waitMs) override;
  IoResult read(char* buffer, std::size_t capacity, unsigned waitMs) override;

 private:
  bool isOpen() const { return port_ != INVALID_HANDLE_VALUE; }
  bool createEvents();
  DWORD queuedInputBytes();
  IoResult readRequest(char* buffer, DWORD size, unsigned waitMs);
  Outcome awaitRequest(OVERLAPPED& request, HANDLE event, unsigned waitMs);

  ComPortClaim claim_;
  std::string openFailureDetail_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE readEvent_ = nullptr;
  HANDLE writeEvent_ = nullptr;
};

bool Win32SerialPort::open(int comNumber) {
  close();
  openFailureDetail_.clear();
  // Another Tarnwick program on this port is refused before the port is
  // touched, as Windows' own drivers refuse a second opener.
  std::string holder;
  if (!claim_.take(comNumber, holder)) {
    if (!holder.empty()) {
      openFailureDetail_ = "COM" + std::to_string(comNumber) + " is held open by " + holder + "\n";
    }
    return false;  // ERROR_ACCESS_DENIED stays set
  }
  std::string path = "\\\\.\\COM" + std::to_string(comNumber);
  HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    claim_.release();  // keeps CreateFileA's error set
    return false;
  }
  port_ = port;
  // Some drivers refuse these settings; the link works with their defaults.
  COMMTIMEOUTS timeouts = linkTimeouts();
  SetCommTimeouts(port_, &timeouts);
  SetupComm(port_, kQueueSize, kQueueSize);
  if (createEvents()) return true;
  DWORD error = GetLastError();
  close();
  SetLastError(error);
  return false;
}

// Two unnamed auto-reset events, not signalled. CreateEventA reports failure
// with NULL, not INVALID_HANDLE_VALUE.
bool Win32SerialPort::createEvents() {
  readEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (readEvent_ == nullptr) return false;
  writeEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  return writeEvent_ != nullptr;
}

void Win32SerialPort::close() {
  if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
  if (readEvent_ != nullptr) CloseHandle(readEvent_);
  if (writeEvent_ != nullptr) CloseHandle(writeEvent_);
  port_ = INVALID_HANDLE_VALUE;
  readEvent_ = nullptr;
  writeEvent_ = nullptr;
  claim_.release();
}

// Waits for a pending request. When the wait ends without the event, the
// request is cancelled and then waited for without a bound: the system may
// still write into the OVERLAPPED and the buffer until it reports the end.
// A cancelled request still reports the bytes it had moved. When the event
// came, the request has ended, so its result is read without a wait (the
// wait consumed the auto-reset signal, and the next request resets the
// event anyway: no call to signal it again).
Outcome Win32SerialPort::awaitRequest(OVERLAPPED& request, HANDLE event, unsigned waitMs) {
  Outcome outcome;
  outcome.finished = WaitForSingleObject(event, waitMs) == WAIT_OBJECT_0;
  if (!outcome.finished) CancelIo(port_);
  const BOOL waitForEnd = outcome.finished ? FALSE : TRUE;
  outcome.ok = GetOverlappedResult(port_, &request, &outcome.count, waitForEnd) != FALSE;
  if (!outcome.ok) outcome.error = GetLastError();
  return outcome;
}

IoResult Win32SerialPort::write(const char* data, std::size_t size, unsigned waitMs) {
  if (!isOpen()) return failed(ERROR_INVALID_HANDLE);
  OVERLAPPED request{};
  request.hEvent = writeEvent_;
  DWORD count = 0;
  if (WriteFile(port_, data, clampToDword(size), &count, &request)) {
    // Completed at once; the OVERLAPPED holds the reliable count.
    GetOverlappedResult(port_, &request, &count, FALSE);
    return done(count);
  }
  DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) return failed(error);
  Outcome outcome = awaitRequest(request, writeEvent_, waitMs);
  if (!outcome.finished) return timedOut(outcome.count);
  if (!outcome.ok) return failed(outcome.error);
  return done(outcome.count);
}

// Bytes the driver holds for us, or 0 when it cannot say.
DWORD Win32SerialPort::queuedInputBytes() {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(port_, &errors, &status)) return 0;
  return status.cbInQue;
}

// Asks only for what is queued (or for one byte when nothing is): under Wine
// a read stays pending until every byte it asked for has arrived, whatever
// the port's time-outs say. A read of what is queued completes at once.
IoResult Win32SerialPort::read(char* buffer, std::size_t capacity, unsigned waitMs) {
  if (!isOpen()) return failed(ERROR_INVALID_HANDLE);
  if (capacity == 0) return done(0);
  DWORD queued = queuedInputBytes();
  if (queued > 0) return readRequest(buffer, std::min(queued, clampToDword(capacity)), waitMs);
  // Nothing is queued: one byte, within the port's read time-out. A Windows
  // port ends such a read by itself after that time; Wine ignores the port's
  // time-outs and would keep it pending, so the wait ends it at the same
  // time, and a byte it caught meanwhile still counts.
  return readRequest(buffer, 1, std::min<unsigned>(waitMs, kSilentReadTimeoutMs));
}

IoResult Win32SerialPort::readRequest(char* buffer, DWORD size, unsigned waitMs) {
  OVERLAPPED request{};
  request.hEvent = readEvent_;
  DWORD count = 0;
  if (ReadFile(port_, buffer, size, &count, &request)) {
    GetOverlappedResult(port_, &request, &count, FALSE);
    return count == 0 ? timedOut(0) : done(count);
  }
  DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) return failed(error);
  Outcome outcome = awaitRequest(request, readEvent_, waitMs);
  // A request that was cancelled after it had placed bytes (Wine reports
  // them with ERROR_OPERATION_ABORTED) delivered them all the same.
  if (outcome.count > 0) return done(outcome.count);
  if (!outcome.ok && outcome.error != ERROR_OPERATION_ABORTED) return failed(outcome.error);
  // Nothing arrived: on Windows the 10 ms read time-out ended the request,
  // under Wine the cancellation did.
  return timedOut(0);
}

}  // namespace

std::unique_ptr<SerialPort> makeSystemSerialPort() {
  return std::make_unique<Win32SerialPort>();
}

}  // namespace tarnwick
