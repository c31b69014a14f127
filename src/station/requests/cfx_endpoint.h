#pragma once

#include <string>

#include "station/publish/broker_address.h"

namespace tarnwick {

// Another CFX endpoint's request node: where it listens, and its handle
// (the AMQP address of the node that takes its requests).
struct CfxEndpoint {
  BrokerAddress address;  // its target holds the handle with a leading '/'
  std::string handle;
};

// Parses `amqp[s]://[USER:PASSWORD@]HOST[:PORT]/HANDLE`. False with `why`
// (never quoting the URL, which may hold a password) when it is no such
// URL or names no handle.
bool parseCfxEndpoint(const std::string& url, CfxEndpoint& endpoint, std::string& why);

// `amqp://HOST:PORT` for --cfx-listen: where the station's own listener
// binds (the port defaults to 5672). A path, user or password is refused:
// the listener takes anonymous connections and its node is the handle.
bool parseListenAddress(const std::string& url, BrokerAddress& address, std::string& why);

}  // namespace tarnwick
