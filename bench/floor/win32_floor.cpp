// The Win32 floor client: the simplest overlapped-I/O way to drive a COM
// port that Wine links to the simulated modem. One write of the whole
// command line; then, until the final result, ClearCommError and a read of
// exactly the queued bytes, or a 1-byte read with a bounded wait when
// nothing is queued (under Wine a read stays pending until every byte it
// asked for has arrived).
#include <windows.h>

#include <memory>
#include <string>

#include "final_result.h"
#include "floor_cli.h"

namespace benchfloor {
namespace {

constexpr DWORD kReplyWaitMs = 5000;
constexpr DWORD kIdleReadWaitMs = 200;
constexpr std::size_t kReplyCap = 64 * 1024;

class Win32Com {
 public:
  ~Win32Com() {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
    if (event_ != nullptr) CloseHandle(event_);
  }

  bool open(const std::string& name, std::string* error) {
    const std::string path = "\\\\.\\" + name;
    port_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, nullptr);
    if (port_ == INVALID_HANDLE_VALUE) return fail("CreateFileA " + path, error);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = 10;
    if (!SetCommTimeouts(port_, &timeouts)) return fail("SetCommTimeouts", error);
    // Auto-reset: the wait that sees it signalled also resets it, so no
    // request needs a ResetEvent call (a wineserver round trip under Wine).
    event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event_ == nullptr) return fail("CreateEventA", error);
    return true;
  }

  bool transact(const std::string& line) {
    DWORD count = 0;
    if (!request(false, const_cast<char*>(line.data()), static_cast<DWORD>(line.size()),
                 kReplyWaitMs, &count) ||
        count != line.size()) {
      return false;
    }
    reply_.clear();
    const ULONGLONG deadline = GetTickCount64() + kReplyWaitMs;
    while (GetTickCount64() < deadline) {
      DWORD errors = 0;
      COMSTAT status{};
      if (!ClearCommError(port_, &errors, &status)) return false;
      const DWORD queued = status.cbInQue < sizeof buffer_ ? status.cbInQue : sizeof buffer_;
      const bool idle = queued == 0;
      if (!request(true, buffer_, idle ? 1 : queued, idle ? kIdleReadWaitMs : kReplyWaitMs,
                   &count)) {
        return false;
      }
      reply_.append(buffer_, count);
      const FinalResult result = finalResultOf(reply_.data(), reply_.size());
      if (result != FinalResult::Pending) return result == FinalResult::Ok;
      if (reply_.size() > kReplyCap) return false;
    }
    return false;
  }

 private:
  static bool fail(const std::string& what, std::string* error) {
    *error = what + " failed, error " + std::to_string(GetLastError());
    return false;
  }

  // One overlapped read or write, waited for at most `waitMs` and then
  // cancelled; `count` gets the bytes it moved, a cancelled read's included.
  bool request(bool isRead, char* data, DWORD size, DWORD waitMs, DWORD* count) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event_;
    *count = 0;
    const BOOL started = isRead ? ReadFile(port_, data, size, nullptr, &overlapped)
                                : WriteFile(port_, data, size, nullptr, &overlapped);
    if (!started && GetLastError() != ERROR_IO_PENDING) return false;
    if (WaitForSingleObject(event_, waitMs) != WAIT_OBJECT_0) CancelIo(port_);
    if (GetOverlappedResult(port_, &overlapped, count, TRUE)) return true;
    return GetLastError() == ERROR_OPERATION_ABORTED;
  }

  HANDLE port_ = INVALID_HANDLE_VALUE;
  HANDLE event_ = nullptr;
  std::string reply_;
  char buffer_[4096];
};

}  // namespace
}  // namespace benchfloor

int main(int argc, char** argv) {
  auto com = std::make_shared<benchfloor::Win32Com>();
  return benchfloor::floorMain(
      argc, argv,
      [com](const std::string& port, benchfloor::Transact* transact, std::string* error) {
        if (!com->open(port, error)) return false;
        *transact = [com](const std::string& line) { return com->transact(line); };
        return true;
      });
}
