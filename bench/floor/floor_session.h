#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace benchfloor {

// Sends one command line (the command and its carriage return) and collects
// the reply until its final result; true when that result is OK.
using Transact = std::function<bool(const std::string& line)>;

struct DownloadReport {
  std::uint64_t bytes = 0;
  std::uint64_t packets = 0;
  double packetLoopSeconds = 0;  // first packet command to last packet's OK
  std::string error;             // empty on success
};

// The tool's command sequence with nothing around it: AT, AT%DNLPK?,
// AT%DNL=1, one AT%DNLIMG="<hex>" per 512-byte packet read from `imagePath`
// (streamed, never loaded whole), AT%DNL=0.
bool downloadImage(const std::string& imagePath, const Transact& transact, DownloadReport* report);

// One "AT" round trip; `seconds` is its time from write to OK.
bool attention(const Transact& transact, double* seconds);

}  // namespace benchfloor
