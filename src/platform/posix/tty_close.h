#pragma once

namespace tarnwick {

// Closes a tty descriptor without waiting more than `limitMs` for output the
// device never took. A USB tty whose far end does not read (the option
// driver keeps its queued writes through a flush) holds close() for the
// port's closing time (30 s by default); a one-shot timer signal sent to the
// closing thread ends that wait, and the driver then drops what is left.
void closeTtyWithin(int fd, unsigned limitMs);

}  // namespace tarnwick
