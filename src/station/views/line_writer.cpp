#include "station/views/line_writer.h"

namespace tarnwick {

void LineWriter::write(const std::string& text) {
  std::lock_guard<std::mutex> hold(lock_);
  const bool whole = std::fwrite(text.data(), 1, text.size(), stream_) == text.size();
  if (std::fflush(stream_) != 0 || !whole) failed_ = true;
}

bool LineWriter::failed() {
  std::lock_guard<std::mutex> hold(lock_);
  return failed_;
}

}  // namespace tarnwick
