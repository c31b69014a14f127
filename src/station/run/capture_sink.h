#pragma once

#include <string>

#include "atlink/link_sink.h"

namespace tarnwick {

// A link's sink that keeps what the link says instead of printing it, so
// that one modem's reports never reach the station's output uncontrolled.
// One per link; not shared between threads.
class CaptureSink : public LinkSink {
 public:
  void message(const std::string& text) override { messages_ += text; }
  void warning(const std::string& text) override { warnings_ += text; }

  const std::string& messages() const { return messages_; }
  const std::string& warnings() const { return warnings_; }

 private:
  std::string messages_;
  std::string warnings_;
};

}  // namespace tarnwick
