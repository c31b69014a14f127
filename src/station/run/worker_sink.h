#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "atlink/link_sink.h"
#include "station/run/event_queue.h"

namespace tarnwick {

// One worker's sink: what its link prints goes to its own log (capped);
// the download's steps and packets become its stage and progress events.
class WorkerSink final : public LinkSink {
 public:
  static constexpr std::size_t kLogCap = 64 * 1024;

  WorkerSink(EventQueue& events, std::size_t modem) : events_(events), modem_(modem) {}

  void message(const std::string& text) override { appendLog(text); }
  void warning(const std::string& text) override { appendLog(text); }
  void downloadStep(DownloadStep step, std::uint32_t packet, std::uint32_t packets) override;
  void packetDone(std::uint32_t packet, std::uint32_t packets, std::uint64_t bytesSent,
                  std::uint64_t imageSize, bool ok) override;

  // The worker's own steps before the download ("connect", "version", ...).
  void setStage(Stage stage);
  void appendLog(const std::string& text);

  const std::string& stage() const { return stage_; }
  const std::string& log() const { return log_; }
  // The modem has acknowledged "AT%DNL=1": it stays in download mode
  // until the download ends.
  bool inDownloadMode() const { return inDownloadMode_; }
  std::uint64_t bytesAcknowledged() const { return bytesAcknowledged_; }
  std::uint64_t packetsAcknowledged() const { return packetsAcknowledged_; }

 private:
  void reportProgress(std::uint64_t imageSize, bool last);

  EventQueue& events_;
  std::size_t modem_;
  std::string stage_;
  std::string log_;
  bool logCut_ = false;
  bool inDownloadMode_ = false;
  std::uint64_t bytesAcknowledged_ = 0;
  std::uint64_t packetsAcknowledged_ = 0;
  std::uint64_t reportedPercent_ = 0;
  std::chrono::steady_clock::time_point reportedAt_{};
};

}  // namespace tarnwick
