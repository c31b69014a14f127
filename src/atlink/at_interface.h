#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "atlink/link_failure.h"
#include "atlink/link_sink.h"
#include "platform/image_file.h"
#include "platform/serial_port.h"

namespace tarnwick {

// The link to one modem over its serial port: byte I/O with bounded waits,
// AT transactions with reply framing, the "AT" handshake and the image
// download. The command line uses the process-wide link from `instance()`;
// tests and later tools may build as many links as they like on any port.
class AtInterface {
 public:
  using ImageFileFactory = std::function<std::unique_ptr<ImageFile>()>;

  explicit AtInterface(std::unique_ptr<SerialPort> port,
                       ImageFileFactory openImageFile = makeSystemImageFile);
  ~AtInterface();
  AtInterface(const AtInterface&) = delete;
  AtInterface& operator=(const AtInterface&) = delete;

  // The process-wide link on the system's serial ports; created on first use,
  // shut down at process exit.
  static AtInterface& instance();

  // Where the link's messages and the download's progress go; the console
  // unless set otherwise. The sink must outlive the link's use of it.
  void setSink(LinkSink& sink) { sink_ = &sink; }
  LinkSink& sink() const { return *sink_; }

  // Why the latest transaction, `initialise` or `downloadImage` failed;
  // kind None after one that succeeded.
  const LinkFailure& lastFailure() const { return lastFailure_; }

  // Serial channel.
  bool openPort(int n);
  void closePort();
  bool writeLine(const std::string& command);
  // One byte of the fetched input; the port is asked only when the bytes
  // fetched before are used up. Replies are collected from the same input in
  // runs (collectResponse).
  bool readChar(char& byte) {
    if (comNumber_ == 0) return false;
    if (inputStart_ == inputEnd_ && !fetchInput()) {
      byte = 0;
      return false;
    }
    byte = input_[inputStart_++];
    return true;
  }
  void flushInput();
  void shutdown();

  // AT transactions.
  bool collectResponse(std::string& reply, const std::string& terminatorA,
                       const std::string& terminatorB, int budgetMs);
  bool sendCommand(const std::string& command, std::string& rawReply, std::string& body);
  bool initialise(int n);

  // Image download.
  bool downloadImage(std::string path);
  bool queryPacketSize(int& packetSize);
  bool beginDownload();
  bool sendImagePacket(const std::string& packetText);
  bool endDownload();

  int comNumber() const { return comNumber_; }
  const std::string& lastCommand() const { return lastCommand_; }
  const std::string& rawReply() const { return rawReply_; }
  const std::string& replyBody() const { return replyBody_; }

 private:
  bool fetchInput();
  bool sendPackets(ImageFile& image, std::uint64_t imageSize, std::size_t packetSize);
  void noteFailure(FailureKind kind, int errorCode = 0);
  void classifyFailedAnswer(const std::string& rawReply);

  std::unique_ptr<SerialPort> port_;
  ImageFileFactory openImageFile_;
  LinkSink* sink_ = &consoleSink();
  LinkFailure lastFailure_;
  // What the current collection met: a read error's code (0 for none), or
  // the reply cap.
  int readErrorCode_ = 0;
  bool replyCapped_ = false;
  int comNumber_ = 0;
  std::string lastCommand_;
  std::string rawReply_;
  std::string replyBody_;

  // Buffers reused from command to command.
  std::string line_;
  std::string packetCommand_;

  // Bytes fetched from the port in one request and handed out one by one.
  static constexpr std::size_t kInputCapacity = 4096;
  char input_[kInputCapacity] = {};
  std::size_t inputStart_ = 0;
  std::size_t inputEnd_ = 0;
};

}  // namespace tarnwick
