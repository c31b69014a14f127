#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "station/model/flash_target.h"
#include "station/run/run_output.h"
#include "station/run/thread_start.h"
#include "station/run/worker.h"

namespace tarnwick {

struct FlashRunSetup {
  std::vector<FlashTarget> targets;
  WorkerShared shared;  // its stop and slots are set by the run
  int jobs = 0;         // at most this many modems at once; 0: all
  // Polled while the run lasts: the operator asks to stop.
  std::function<bool()> stopRequested = [] { return false; };
  ThreadFactory makeThread = systemThread;  // a fake in tests
};

// One thread per modem; this thread alone reads their events, keeps each
// modem's record and shows every event on `output`, and returns once every
// worker has ended and been joined. A modem for which no thread could be started ends
// FAIL without being touched, and the run goes on with the others.
void runFlash(FlashRunSetup& setup, RunOutput& output);

}  // namespace tarnwick
