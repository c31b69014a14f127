#pragma once

#include <functional>
#include <memory>
#include <string>

#include "station/cfx/cfx_requests.h"
#include "station/publish/broker_address.h"

namespace tarnwick {

struct RequestListenerSettings {
  BrokerAddress bind;  // host and port to listen on
  CfxEndpointInformation station;
  // What the answers tell: called on the listener's own thread, so it must
  // be safe to call from there.
  std::function<CfxStationFacts()> facts;
};

// The station's own AMQP 1.0 listener for CFX requests, on a thread of its
// own (a Proton container), as the SDK's endpoints listen: its request
// node's address is the station's handle; a requester attaches a link from
// that node to a reply address of its own and sends its request with that
// reply-to. It answers the read-only requests (cfx_requests.h) and changes
// nothing on the station, so it takes anonymous connections. A request that
// cannot be read, or names no reply link, is rejected; nothing here touches
// the flashing.
class RequestListener {
 public:
  explicit RequestListener(RequestListenerSettings settings);
  ~RequestListener();  // stops it
  RequestListener(const RequestListener&) = delete;
  RequestListener& operator=(const RequestListener&) = delete;

  // Listens; true once the address is bound, false with `why` when it
  // cannot be (in use, not this machine's) within a few seconds.
  bool start(std::string& why);
  void stop();

 private:
  struct Running;
  RequestListenerSettings settings_;
  std::unique_ptr<Running> running_;
};

}  // namespace tarnwick
