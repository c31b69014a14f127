// The outbox benchmark's own program: fills an outbox with N results of a
// realistic size through the station's own Outbox, or times puts into an
// outbox that already holds many. bench/outbox.sh runs it and the station.
//
//   outbox-bench fill DIR N      put N results (one UnitsTested each)
//   outbox-bench put DIR N       put N more, timing each; prints the
//                                median and the slowest in ms
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/random_uuid.h"
#include "station/cfx/cfx_message.h"
#include "station/publish/outbox.h"
#include "text/iso_time.h"

namespace {

using tarnwick::CfxMessage;
using tarnwick::CfxUnitResult;

// A flashed unit's result, as a watch cycle after a PASS and its check
// sends it (about 2 KiB of JSON).
bool resultMessage(CfxMessage& message) {
  CfxUnitResult unit;
  unit.handle = "Plant2.Line1.Station3";
  unit.timeStamp = tarnwick::isoTimeUtc(std::chrono::system_clock::now());
  unit.imageName = "EC25_R06.bin";
  unit.imageSha256 = std::string(64, 'a');
  unit.imei = "356938035643809";
  unit.serial = "SN0123456789";
  unit.location = "1-4.2";
  unit.slotIndex = 3;
  unit.slotLabel = "A3";
  unit.port = "COM14";
  unit.started = unit.timeStamp;
  unit.ended = unit.timeStamp;
  unit.versionBefore = "EC25EFAR06A06M4G";
  unit.stage = "end";
  tarnwick::CfxVersionCheck check;
  check.versionAfter = "EC25EFAR06A08M4G";
  check.expectedVersion = check.versionAfter;
  check.checked = unit.timeStamp;
  unit.check = check;
  unit.uniqueId = tarnwick::randomUuid();
  return tarnwick::unitsTestedMessage(unit, tarnwick::randomUuid, message);
}

int fail(const std::string& why) {
  std::fprintf(stderr, "outbox-bench: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return fail("usage: outbox-bench fill|put DIR N");
  const std::string mode = argv[1];
  const long count = std::strtol(argv[3], nullptr, 10);
  tarnwick::Outbox outbox(argv[2]);
  std::string why;
  if (!outbox.open(why)) return fail(why);
  std::vector<double> millis;
  for (long i = 0; i < count; ++i) {
    CfxMessage message;
    if (!resultMessage(message)) return fail("no random ids");
    const auto started = std::chrono::steady_clock::now();
    if (!outbox.put(message, tarnwick::isoTimeUtc(std::chrono::system_clock::now()), why)) {
      return fail(why);
    }
    millis.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count());
  }
  if (mode == "put" && !millis.empty()) {
    std::sort(millis.begin(), millis.end());
    std::printf("put_median_ms=%.2f\nput_max_ms=%.2f\n", millis[millis.size() / 2], millis.back());
  }
  return 0;
}
