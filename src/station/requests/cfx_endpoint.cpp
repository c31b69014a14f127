#include "station/requests/cfx_endpoint.h"

namespace tarnwick {

bool parseCfxEndpoint(const std::string& url, CfxEndpoint& endpoint, std::string& why) {
  if (!parseBrokerAddress(url, &endpoint.address, &why)) return false;
  const std::string& target = endpoint.address.target;
  endpoint.handle = target.size() > 1 ? target.substr(1) : "";
  if (endpoint.handle.empty()) {
    why = "the URL names no CFX handle (amqp://HOST:PORT/HANDLE)";
    return false;
  }
  return true;
}

bool parseListenAddress(const std::string& url, BrokerAddress& address, std::string& why) {
  // The broker address's parser asks for a node: a stand-in one is added
  // when the URL has no path, and any other path refused below.
  const bool bare = url.find('/', std::string("amqps://").size()) == std::string::npos;
  if (!parseBrokerAddress(bare ? url + "/-" : url, &address, &why)) return false;
  if (address.tls) {
    why = "the listener takes amqp:// only";
    return false;
  }
  if (!address.user.empty() || address.passwordInUrl) {
    why = "the listener takes anonymous connections: give no user or password";
    return false;
  }
  if (!bare) {
    why = "give the listener HOST:PORT only (its node is the station's CFX handle)";
    return false;
  }
  return true;
}

}  // namespace tarnwick
