#include "floor_cli.h"

#include <cstdio>
#include <cstring>

namespace benchfloor {

int floorMain(int argc, char** argv, const PortOpener& open) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PORT IMAGE | %s PORT --at\n", argv[0], argv[0]);
    return 2;
  }
  Transact transact;
  std::string error;
  if (!open(argv[1], &transact, &error)) {
    std::fprintf(stderr, "floor: %s\n", error.c_str());
    return 1;
  }
  if (std::strcmp(argv[2], "--at") == 0) {
    double seconds = 0;
    if (!attention(transact, &seconds)) {
      std::fprintf(stderr, "floor: no OK to AT\n");
      return 1;
    }
    std::printf("floor at_s=%.6f\n", seconds);
    return 0;
  }
  DownloadReport report;
  const bool ok = downloadImage(argv[2], transact, &report);
  std::printf("floor packets=%llu bytes=%llu loop_s=%.6f\n",
              static_cast<unsigned long long>(report.packets),
              static_cast<unsigned long long>(report.bytes), report.packetLoopSeconds);
  if (!ok) std::fprintf(stderr, "floor: %s\n", report.error.c_str());
  return ok ? 0 : 1;
}

}  // namespace benchfloor
