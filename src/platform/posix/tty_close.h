#pragma once

namespace tarnwick {

// Closes a tty descriptor without waiting more than `limitMs` for output the
// device never took. A usb-serial or cdc-acm tty whose far end does not read
// holds close() for the driver's closing time (30 s by default) while its
// queued writes stay pending; a one-shot timer signal sent to the closing
// thread ends that wait, and the driver then drops what is left.
void closeTtyWithin(int fd, unsigned limitMs);

}  // namespace tarnwick
