#pragma once

#include <optional>
#include <string>
#include <vector>

#include "station/cfx/cfx_envelope.h"
#include "station/cfx/cfx_resource.h"

namespace tarnwick {

// A recipe an endpoint runs: the image as RecipeName and Revision.
struct CfxRecipe {
  std::string name;
  std::string revision;
};

// What a CFX.Heartbeat says beside its handle: none is null (unknown), an
// empty list says there are none.
struct CfxHeartbeat {
  std::string handle;
  std::string timeStamp;
  int frequencySeconds = 60;
  std::optional<std::vector<CfxFault>> activeFaults;
  std::optional<std::vector<CfxRecipe>> activeRecipes;
};

// The CFX.Heartbeat message, saying the next comes within its frequency.
// False when `newUuid` gave no UUID.
bool heartbeatMessage(const CfxHeartbeat& heartbeat, const UuidSource& newUuid,
                      CfxMessage& message);

// CFX.EndpointConnected of `handle`: RequestNetworkUri `requestUri` and
// RequestTargetAddress the handle when the station takes requests there,
// both null when `requestUri` is empty.
bool endpointConnectedMessage(const std::string& handle, const std::string& requestUri,
                              const std::string& timeStamp, const UuidSource& newUuid,
                              CfxMessage& message);

// CFX.EndpointShuttingDown of `handle`.
bool endpointShuttingDownMessage(const std::string& handle, const std::string& timeStamp,
                                 const UuidSource& newUuid, CfxMessage& message);

}  // namespace tarnwick
