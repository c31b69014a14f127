#pragma once

#include <vector>

#include "platform/sleeper.h"

namespace tarnwick::testing {

// Records the pauses asked for instead of waiting them out.
class RecordingSleeper : public Sleeper {
 public:
  void sleepMs(unsigned milliseconds) override { pauses.push_back(milliseconds); }
  std::vector<unsigned> pauses;
};

}  // namespace tarnwick::testing
