#include "station/model/stage.h"

namespace tarnwick {

const char* stageName(Stage stage) {
  switch (stage) {
    case Stage::Connect:
      return "connect";
    case Stage::Version:
      return "version";
    case Stage::Validate:
      return "validate";
    case Stage::PacketSize:
      return "packet size";
    case Stage::Begin:
      return "begin";
    case Stage::Download:
      return "download";
    case Stage::End:
      return "end";
  }
  return "end";
}

}  // namespace tarnwick
