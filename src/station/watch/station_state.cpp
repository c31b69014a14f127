#include "station/watch/station_state.h"

namespace tarnwick {

int stationState(const StationActivity& activity) {
  if (activity.working > 0) return kStateRegularWork;
  if (activity.waitingForMes > 0) return kStateNoHost;
  return kStateStarved;
}

}  // namespace tarnwick
