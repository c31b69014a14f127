#pragma once

namespace tarnwick {

// The operator's request to stop: Ctrl-C and SIGTERM on Linux; Ctrl-C,
// Ctrl-Break and the console's close, log-off and shut-down events on
// Windows. The handlers only set a flag that the program polls.
void installStopHandlers();
bool stopRequested();

// The program has written what a stop must leave behind. On Windows a
// console close event ends the process once its handler returns, so the
// handler waits (a few seconds at most) for this call.
void stopHandlingDone();

}  // namespace tarnwick
