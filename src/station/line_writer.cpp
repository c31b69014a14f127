#include "station/line_writer.h"

namespace tarnwick::station {

void LineWriter::write(const std::string& text) {
  std::lock_guard<std::mutex> hold(lock_);
  std::fwrite(text.data(), 1, text.size(), stream_);
  std::fflush(stream_);
}

}  // namespace tarnwick::station
