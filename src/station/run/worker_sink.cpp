#include "station/run/worker_sink.h"

namespace tarnwick {
namespace {

// Progress goes to the station at most this often, and at every whole percent.
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

Stage stageOf(DownloadStep step) {
  switch (step) {
    case DownloadStep::PacketSize:
      return Stage::PacketSize;
    case DownloadStep::Begin:
      return Stage::Begin;
    case DownloadStep::Packet:
      return Stage::Download;
    case DownloadStep::End:
      return Stage::End;
  }
  return Stage::End;
}

// Where the download is, as a failure's record names it: a packet by its
// number ("packet 5 of 12"), the other steps by their stage.
std::string stageText(DownloadStep step, std::uint32_t packet, std::uint32_t packets) {
  if (step != DownloadStep::Packet) return stageName(stageOf(step));
  return "packet " + std::to_string(packet) + " of " + std::to_string(packets);
}

}  // namespace

void WorkerSink::downloadStep(DownloadStep step, std::uint32_t packet, std::uint32_t packets) {
  stage_ = stageText(step, packet, packets);
  // Packets and the end follow only an acknowledged "AT%DNL=1".
  if (step == DownloadStep::Packet || step == DownloadStep::End) inDownloadMode_ = true;
  if (step == DownloadStep::Packet && packet > 1) return;  // one event per step, not per packet
  StationEvent event;
  event.kind = EventKind::Stage;
  event.modem = modem_;
  event.stage = stageOf(step);
  events_.put(std::move(event));
}

void WorkerSink::packetDone(std::uint32_t packet, std::uint32_t packets, std::uint64_t bytesSent,
                            std::uint64_t imageSize, bool ok) {
  if (!ok) return;
  bytesAcknowledged_ = bytesSent;
  ++packetsAcknowledged_;
  reportProgress(imageSize, packet == packets);
}

void WorkerSink::reportProgress(std::uint64_t imageSize, bool last) {
  const auto now = std::chrono::steady_clock::now();
  const std::uint64_t percent = imageSize == 0 ? 100 : bytesAcknowledged_ * 100 / imageSize;
  if (!last && percent == reportedPercent_ && now - reportedAt_ < kProgressInterval) return;
  reportedPercent_ = percent;
  reportedAt_ = now;
  StationEvent event;
  event.kind = EventKind::Progress;
  event.modem = modem_;
  event.at = now;
  event.bytesSent = bytesAcknowledged_;
  event.imageSize = imageSize;
  events_.put(std::move(event));
}

void WorkerSink::setStage(Stage stage) {
  stage_ = stageName(stage);
  StationEvent event;
  event.kind = EventKind::Stage;
  event.modem = modem_;
  event.stage = stage;
  events_.put(std::move(event));
}

void WorkerSink::appendLog(const std::string& text) {
  static const std::string kCutNote = "\n[log cut at 64 KiB]\n";
  if (logCut_) return;
  if (log_.size() + text.size() <= kLogCap - kCutNote.size()) {
    log_ += text;
    return;
  }
  log_.append(text, 0, kLogCap - kCutNote.size() - log_.size());
  log_ += kCutNote;
  logCut_ = true;
}

}  // namespace tarnwick
