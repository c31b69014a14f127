#include "floor_session.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace benchfloor {
namespace {

constexpr std::size_t kPacketSize = 512;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Fills `line` with AT%DNLIMG="<upper-case hex of bytes>" and a carriage
// return, reusing its storage: sized once, the digits written in place.
void packetLine(const unsigned char* bytes, std::size_t count, std::string* line) {
  static const char kDigits[] = "0123456789ABCDEF";
  static const char kStart[] = "AT%DNLIMG=\"";
  static const char kEnd[] = "\"\r";
  const std::size_t startSize = sizeof kStart - 1;
  line->resize(startSize + 2 * count + sizeof kEnd - 1);
  char* at = &(*line)[0];
  std::memcpy(at, kStart, startSize);
  at += startSize;
  for (std::size_t i = 0; i < count; ++i) {
    *at++ = kDigits[bytes[i] >> 4];
    *at++ = kDigits[bytes[i] & 0x0F];
  }
  std::memcpy(at, kEnd, sizeof kEnd - 1);
}

bool command(const Transact& transact, const char* text, DownloadReport* report) {
  if (transact(std::string(text) + "\r")) return true;
  report->error = std::string("no OK to ") + text;
  return false;
}

}  // namespace

bool downloadImage(const std::string& imagePath, const Transact& transact, DownloadReport* report) {
  std::FILE* image = std::fopen(imagePath.c_str(), "rb");
  if (image == nullptr) {
    report->error = "cannot open " + imagePath;
    return false;
  }
  bool ok = command(transact, "AT", report) && command(transact, "AT%DNLPK?", report) &&
            command(transact, "AT%DNL=1", report);
  unsigned char packet[kPacketSize];
  std::string line;
  line.reserve(2 * kPacketSize + 16);
  const Clock::time_point start = Clock::now();
  while (ok) {
    const std::size_t got = std::fread(packet, 1, kPacketSize, image);
    if (got == 0) break;
    packetLine(packet, got, &line);
    ok = transact(line);
    if (!ok) report->error = "no OK to packet " + std::to_string(report->packets + 1);
    report->bytes += got;
    ++report->packets;
  }
  report->packetLoopSeconds = secondsSince(start);
  if (ok && std::ferror(image)) {
    report->error = "cannot read " + imagePath;
    ok = false;
  }
  std::fclose(image);
  return ok && command(transact, "AT%DNL=0", report);
}

bool attention(const Transact& transact, double* seconds) {
  const Clock::time_point start = Clock::now();
  const bool ok = transact("AT\r");
  *seconds = secondsSince(start);
  return ok;
}

}  // namespace benchfloor
