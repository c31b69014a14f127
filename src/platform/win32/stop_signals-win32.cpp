// Ctrl-C, Ctrl-Break and the console's close, log-off and shut-down events.
// The handler runs on a thread of its own: it sets the flag and, for the
// events after which the system ends the process, waits until the program
// says its records are written (the system allows a few seconds).
#include <windows.h>

#include <atomic>

#include "platform/stop_signals.h"

namespace tarnwick {
namespace {

std::atomic<bool> stopFlag{false};
HANDLE doneEvent = nullptr;
constexpr DWORD kLongestWaitMs = 4500;

BOOL WINAPI onConsoleEvent(DWORD event) {
  stopFlag.store(true);
  const bool processEnds =
      event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
  if (processEnds && doneEvent != nullptr) WaitForSingleObject(doneEvent, kLongestWaitMs);
  return TRUE;
}

}  // namespace

void installStopHandlers() {
  doneEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool stopRequested() {
  return stopFlag.load();
}

void stopHandlingDone() {
  if (doneEvent != nullptr) SetEvent(doneEvent);
}

}  // namespace tarnwick
