#pragma once

#include <string>

namespace tarnwick {

// This station's UniqueIdentifier for GetEndpointInformation: a UUID made
// once and kept in the station's state folder (`station-id` beside the
// default outbox), so the MES knows the station again after a restart.
// When the folder cannot be used, a fresh UUID with `warning` saying why.
std::string stationUniqueIdentifier(std::string& warning);

}  // namespace tarnwick
