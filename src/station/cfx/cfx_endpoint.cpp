#include "station/cfx/cfx_endpoint.h"

namespace tarnwick {
namespace {

const char kHeartbeat[] = "CFX.Heartbeat";
const char kEndpointConnected[] = "CFX.EndpointConnected";
const char kEndpointShuttingDown[] = "CFX.EndpointShuttingDown";

CfxJson recipesJson(const std::vector<CfxRecipe>& recipes) {
  CfxJson list = CfxJson::array();
  for (const CfxRecipe& recipe : recipes) {
    CfxJson entry;
    entry["RecipeName"] = cfxTextOrNull(recipe.name);
    entry["Revision"] = cfxTextOrNull(recipe.revision);
    list.push_back(std::move(entry));
  }
  return list;
}

CfxJson faultsJson(const std::vector<CfxFault>& faults) {
  CfxJson list = CfxJson::array();
  for (const CfxFault& fault : faults) list.push_back(cfxFaultJson(fault));
  return list;
}

bool handleOnly(const char* name, const std::string& handle, const std::string& timeStamp,
                const UuidSource& newUuid, CfxMessage& message) {
  CfxIdentifiers ids(newUuid);
  CfxJson body;
  body["CFXHandle"] = handle;
  return cfxEnvelope(name, cfxEnvelopeFrom(handle, timeStamp), std::move(body), ids, message);
}

}  // namespace

bool heartbeatMessage(const CfxHeartbeat& heartbeat, const UuidSource& newUuid,
                      CfxMessage& message) {
  CfxIdentifiers ids(newUuid);
  CfxJson body;
  body["CFXHandle"] = heartbeat.handle;
  body["HeartbeatFrequency"] =
      cfxTimeSpan(static_cast<std::int64_t>(heartbeat.frequencySeconds) * 1000);
  body["ActiveFaults"] = heartbeat.activeFaults ? faultsJson(*heartbeat.activeFaults) : nullptr;
  body["ActiveRecipes"] = heartbeat.activeRecipes ? recipesJson(*heartbeat.activeRecipes) : nullptr;
  return cfxEnvelope(kHeartbeat, cfxEnvelopeFrom(heartbeat.handle, heartbeat.timeStamp),
                     std::move(body), ids, message);
}

bool endpointConnectedMessage(const std::string& handle, const std::string& requestUri,
                              const std::string& timeStamp, const UuidSource& newUuid,
                              CfxMessage& message) {
  CfxIdentifiers ids(newUuid);
  CfxJson body;
  body["CFXHandle"] = handle;
  body["RequestNetworkUri"] = cfxTextOrNull(requestUri);
  body["RequestTargetAddress"] = requestUri.empty() ? CfxJson() : CfxJson(handle);
  return cfxEnvelope(kEndpointConnected, cfxEnvelopeFrom(handle, timeStamp), std::move(body), ids,
                     message);
}

bool endpointShuttingDownMessage(const std::string& handle, const std::string& timeStamp,
                                 const UuidSource& newUuid, CfxMessage& message) {
  return handleOnly(kEndpointShuttingDown, handle, timeStamp, newUuid, message);
}

}  // namespace tarnwick
