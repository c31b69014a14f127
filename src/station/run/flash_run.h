#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "station/model/flash_target.h"
#include "station/run/thread_start.h"
#include "station/run/worker.h"
#include "station/views/record_file.h"
#include "station/views/run_board.h"
#include "station/views/run_view.h"

namespace tarnwick {

struct FlashRunSetup {
  std::vector<FlashTarget> targets;
  WorkerShared shared;  // its stop and slots are set by the run
  int jobs = 0;         // at most this many modems at once; 0: all
  std::vector<RunView*> views;
  RecordFile* records = nullptr;  // none without --record
  // Polled while the run lasts: the operator asks to stop.
  std::function<bool()> stopRequested = [] { return false; };
  ThreadFactory makeThread = systemThread;  // a fake in tests
};

struct FlashRunOutcome {
  bool recordsWritten = true;  // false when a record could not be written
};

// One thread per modem; this thread alone reads their events, feeds the
// board, the views and the record file, and returns once every worker has
// ended and been joined. A modem for which no thread could be started ends
// FAIL without being touched, and the run goes on with the others.
FlashRunOutcome runFlash(FlashRunSetup& setup, RunBoard& board);

}  // namespace tarnwick
