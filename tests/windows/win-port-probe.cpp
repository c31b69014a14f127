// Drives a COM port through the program's own serial port code, so that a
// test can check it against a pseudo-terminal under Wine.
//
//   win-port-probe.exe N [--limit-ms MS]   send "AT\r", collect the reply until
//                                          "\r\nOK\r\n" or MS (default 3000) pass
//   win-port-probe.exe N --silent-read     one read on a line that says nothing
//   win-port-probe.exe N --reopen K        open and close K times, count handles
//
// Every read request is logged ("read: <status> <count> <ms>"); the reply is
// printed escaped ("reply: \"AT\\r\\r\\nOK\\r\\n\""). Exit status: 0 when the
// check passed, 1 when it did not, 2 when the port could not be opened or the
// arguments are wrong.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "byte_escape.h"
#include "platform/console.h"
#include "platform/last_error.h"
#include "platform/serial_port.h"

namespace {

using Clock = std::chrono::steady_clock;
using tarnwick::IoResult;
using tarnwick::IoStatus;

constexpr unsigned kWriteWaitMs = 10000;
constexpr unsigned kReadWaitMs = 200;
constexpr std::size_t kReadCapacity = 256;
constexpr char kOk[] = "\r\nOK\r\n";
constexpr char kError[] = "\r\nERROR\r\n";

long long msSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

const char* statusName(IoStatus status) {
  switch (status) {
    case IoStatus::Done:
      return "Done";
    case IoStatus::TimedOut:
      return "TimedOut";
    case IoStatus::Failed:
      return "Failed";
  }
  return "?";
}

bool openPort(tarnwick::SerialPort& port, int comNumber) {
  if (port.open(comNumber)) return true;
  int code = tarnwick::lastErrorCode();
  std::string text;
  if (!tarnwick::systemErrorText(code, text)) text = "(no text)";
  std::printf("open COM%d failed: error %d: \"%s\"\n", comNumber, code,
              tarnwick::testing::escapeBytes(text.data(), text.size()).c_str());
  return false;
}

IoResult loggedRead(tarnwick::SerialPort& port, char* buffer) {
  Clock::time_point start = Clock::now();
  IoResult result = port.read(buffer, kReadCapacity, kReadWaitMs);
  std::printf("read: %s %zu %lld", statusName(result.status), result.count, msSince(start));
  if (result.status == IoStatus::Failed) std::printf(" error %d", result.errorCode);
  std::printf("\n");
  return result;
}

bool writeAll(tarnwick::SerialPort& port, const std::string& line) {
  std::size_t sent = 0;
  for (int attempt = 0; attempt < 3 && sent < line.size(); ++attempt) {
    IoResult result = port.write(line.data() + sent, line.size() - sent, kWriteWaitMs);
    std::printf("write: %s %zu\n", statusName(result.status), result.count);
    if (result.status != IoStatus::Done) return false;
    sent += result.count;
  }
  return sent == line.size();
}

bool replyEnded(const std::string& reply) {
  return reply.find(kOk) != std::string::npos || reply.find(kError) != std::string::npos;
}

int atExchange(tarnwick::SerialPort& port, long long limitMs) {
  if (!writeAll(port, "AT\r")) return 1;
  std::string reply;
  Clock::time_point start = Clock::now();
  char buffer[kReadCapacity];
  while (!replyEnded(reply) && msSince(start) < limitMs) {
    IoResult result = loggedRead(port, buffer);
    if (result.status == IoStatus::Failed) break;
    reply.append(buffer, result.count);
  }
  std::printf("reply: \"%s\"\n",
              tarnwick::testing::escapeBytes(reply.data(), reply.size()).c_str());
  bool ok = reply.find(kOk) != std::string::npos;
  std::printf("result: %s\n", ok ? "OK" : "no OK");
  return ok ? 0 : 1;
}

int silentRead(tarnwick::SerialPort& port) {
  char buffer[kReadCapacity];
  IoResult result = loggedRead(port, buffer);
  return result.status == IoStatus::TimedOut && result.count == 0 ? 0 : 1;
}

// A measure of the handles the process holds. Windows counts them. Wine
// reports 0 but gives every new handle the lowest free slot, so there the
// highest of a batch of fresh handles grows exactly when handles leak.
std::uintptr_t handlesInUse() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
  constexpr int kMarkers = 16;
  HANDLE markers[kMarkers];
  std::uintptr_t highest = 0;
  for (HANDLE& marker : markers) {
    marker = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    highest = std::max(highest, reinterpret_cast<std::uintptr_t>(marker));
  }
  for (HANDLE marker : markers) CloseHandle(marker);
  return highest;
}

// Each open makes a port handle and two events; each close must release all
// three, or a long-running program leaks handles on every reconnect.
int reopen(tarnwick::SerialPort& port, int comNumber, int times) {
  if (!openPort(port, comNumber)) return 2;
  port.close();
  std::uintptr_t before = handlesInUse();
  for (int i = 0; i < times; ++i) {
    if (!openPort(port, comNumber)) return 2;
    port.close();
  }
  std::uintptr_t after = handlesInUse();
  std::printf("handles: before=%ju after=%ju\n", static_cast<std::uintmax_t>(before),
              static_cast<std::uintmax_t>(after));
  return before == after ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  tarnwick::prepareConsole();  // "\n" stays "\n", as the tests expect
  if (argc < 2) {
    std::printf("usage: win-port-probe.exe N [--limit-ms MS | --silent-read | --reopen K]\n");
    return 2;
  }
  int comNumber = std::atoi(argv[1]);
  std::string mode = argc > 2 ? argv[2] : "";
  std::unique_ptr<tarnwick::SerialPort> port = tarnwick::makeSystemSerialPort();
  if (mode == "--reopen" && argc > 3) return reopen(*port, comNumber, std::atoi(argv[3]));
  if (!openPort(*port, comNumber)) return 2;
  std::printf("opened COM%d\n", comNumber);
  if (mode == "--silent-read") return silentRead(*port);
  long long limitMs = mode == "--limit-ms" && argc > 3 ? std::atoll(argv[3]) : 3000;
  return atExchange(*port, limitMs);
}
