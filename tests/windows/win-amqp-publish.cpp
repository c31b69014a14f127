// Publishes one message with the station's AMQP publisher, so that a test
// can check the Windows build's Proton against a broker under Wine.
//
//   win-amqp-publish.exe URL MESSAGE-ID BODY
//
// The message carries the subject and application properties a station's
// result carries. Prints "outcome: Accepted|Rejected|Retry: <reason>" for
// the first outcome. Exit status: 0 accepted, 1 any other outcome or none
// within 20 s, 2 bad arguments.
#include <chrono>
#include <cstdio>
#include <future>
#include <string>

#include "station/publish/amqp_publisher.h"
#include "station/publish/broker_address.h"

namespace {

constexpr int kWaitSeconds = 20;

const char* outcomeName(tarnwick::PublishOutcome outcome) {
  switch (outcome) {
    case tarnwick::PublishOutcome::Accepted:
      return "Accepted";
    case tarnwick::PublishOutcome::Rejected:
      return "Rejected";
    case tarnwick::PublishOutcome::AddressRefused:
      return "AddressRefused";
    case tarnwick::PublishOutcome::Retry:
      break;
  }
  return "Retry";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: win-amqp-publish.exe URL MESSAGE-ID BODY\n");
    return 2;
  }
  tarnwick::BrokerAddress address;
  std::string error;
  if (!tarnwick::parseBrokerAddress(argv[1], &address, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  std::promise<tarnwick::PublishResult> first;
  bool reported = false;
  tarnwick::AmqpPublisher publisher(address, [&](const tarnwick::PublishResult& result) {
    if (!reported) first.set_value(result);
    reported = true;
  });
  if (!publisher.start(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  tarnwick::OutgoingMessage message;
  message.messageId = argv[2];
  message.subject = "Tarnwick.Station.wine.CFX.Production.TestAndInspection.UnitsTested";
  message.body = argv[3];
  message.properties = {{"cfx-topic", "CFX.Production.TestAndInspection"},
                        {"cfx-message", "CFX.Production.TestAndInspection.UnitsTested"},
                        {"cfx-handle", "Tarnwick.Station.wine"}};
  publisher.submit(message);
  std::future<tarnwick::PublishResult> outcome = first.get_future();
  if (outcome.wait_for(std::chrono::seconds(kWaitSeconds)) != std::future_status::ready) {
    std::printf("outcome: none within %d s\n", kWaitSeconds);
    return 1;
  }
  const tarnwick::PublishResult result = outcome.get();
  std::printf("outcome: %s%s%s\n", outcomeName(result.outcome), result.reason.empty() ? "" : ": ",
              result.reason.c_str());
  publisher.stop();
  return result.outcome == tarnwick::PublishOutcome::Accepted ? 0 : 1;
}
