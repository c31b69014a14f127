#pragma once

namespace tarnwick {

// Blocking pauses of the calling thread; a seam so that tests can count
// pauses instead of waiting them out.
class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void sleepMs(unsigned milliseconds) = 0;
};

Sleeper& systemSleeper();

}  // namespace tarnwick
