#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace tarnwick {

// Writes whole lines to a stream from any thread: each line is written and
// flushed under a lock, so lines never interleave and each reaches its
// reader when it is ready. A failed write (a reader gone, a full disk) is
// dropped and remembered.
class LineWriter {
 public:
  explicit LineWriter(std::FILE* stream) : stream_(stream) {}

  void write(const std::string& text);
  // Some line could not be written whole.
  bool failed();

 private:
  std::FILE* stream_;
  std::mutex lock_;
  bool failed_ = false;
};

}  // namespace tarnwick
