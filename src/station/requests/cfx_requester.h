#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "station/requests/cfx_endpoint.h"

namespace tarnwick {

// One request sent to another endpoint and its answer.
struct CfxExchange {
  enum class Outcome {
    Answered,     // an answer with the request's RequestID came: `envelopes`
    Unreachable,  // no connection or link could be had: `why`
    TimedOut,     // no answer within the wait
    Unreadable,   // an answer came that cannot be read, or the request was refused: `why`
  };
  Outcome outcome = Outcome::Unreachable;
  std::vector<nlohmann::json> envelopes;
  std::string why;
};

// What one request is: its envelope text and ids, and the station's handle.
struct CfxOutgoingRequest {
  std::string body;  // the envelope as UTF-8 JSON
  std::string messageName;
  std::string requestId;
  std::string uniqueId;
  std::string handle;  // this station's: cfx-handle and the reply address's start
};

// Sends `request` to `endpoint` as the CFX SDK's requester does, on a
// connection of its own that the call opens and closes: a receiving link
// from the endpoint's handle to a reply address of the station's own
// ("HANDLE-UUID"), a sending link to the handle, the request with that
// reply-to; then waits up to `timeoutMs` for the answer that carries the
// request's RequestID. Runs on the calling thread; many may run at once.
CfxExchange exchangeCfxRequest(const CfxEndpoint& endpoint, const CfxOutgoingRequest& request,
                               int timeoutMs);

}  // namespace tarnwick
