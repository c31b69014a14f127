#pragma once

#include <cstdint>
#include <string>

#include "diag/report_system_error.h"

namespace tarnwick {

// The steps of a download, in the order they are sent.
enum class DownloadStep { PacketSize, Begin, Packet, End };

// Where a link and the download put what they have to say. The one-modem
// tool prints it on the console; a program that drives several modems at
// once gives each link a sink of its own, so nothing of one modem lands in
// another's output. Progress is an event, not a character: the spinner is
// how the console draws it.
class LinkSink {
 public:
  virtual ~LinkSink() = default;

  // Text for the reader: system error reports, read errors, the download's
  // start message. The console writes it to standard output unchanged.
  virtual void message(const std::string& text) = 0;

  // Text the console writes to standard error (who holds a busy port).
  virtual void warning(const std::string& text) = 0;

  // The download is about to send `step`; for a packet, packet `packet` of
  // `packets`, counted from 1.
  virtual void downloadStep(DownloadStep /*step*/, std::uint32_t /*packet*/,
                            std::uint32_t /*packets*/) {}

  // Packet attempt `packet` of `packets` (from 1) has ended, answered or
  // not; `bytesSent` of the image's `imageSize` bytes have been sent.
  virtual void packetDone(std::uint32_t /*packet*/, std::uint32_t /*packets*/,
                          std::uint64_t /*bytesSent*/, std::uint64_t /*imageSize*/, bool /*ok*/) {}
};

// The one-modem tool's sink: standard output and standard error, each
// message flushed at once, and the spinner at every tenth packet attempt.
LinkSink& consoleSink();

// The calling thread's last system error report (systemErrorReport), handed
// to `sink` as a message.
inline void reportSystemError(LinkSink& sink, const char* operation) {
  sink.message(systemErrorReport(operation));
}

}  // namespace tarnwick
