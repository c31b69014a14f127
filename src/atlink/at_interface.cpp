#include "atlink/at_interface.h"

#include <cstdlib>

namespace tarnwick {
namespace {

AtInterface* processLink = nullptr;

void shutdownProcessLink() {
  processLink->shutdown();
}

}  // namespace

AtInterface::AtInterface(std::unique_ptr<SerialPort> port, ImageFileFactory openImageFile)
    : port_(std::move(port)), openImageFile_(std::move(openImageFile)) {}

AtInterface::~AtInterface() {
  closePort();
}

AtInterface& AtInterface::instance() {
  if (processLink == nullptr) {
    // Never destroyed: other exit handlers may still use it. shutdown()
    // closes the port at exit.
    processLink = new AtInterface(makeSystemSerialPort());
    std::atexit(shutdownProcessLink);
  }
  return *processLink;
}

void AtInterface::shutdown() {
  closePort();
  std::string().swap(replyBody_);
  std::string().swap(rawReply_);
  std::string().swap(lastCommand_);
}

}  // namespace tarnwick
