#pragma once

#include <string>

namespace modemsim {

// Appends each command received to a file, one line each, exactly as
// received without its carriage return. Every line goes out in one write,
// so a reader of the file sees whole lines as they arrive.
class CommandLog {
 public:
  CommandLog() = default;
  ~CommandLog();
  CommandLog(const CommandLog&) = delete;
  CommandLog& operator=(const CommandLog&) = delete;

  bool open(const std::string& path, std::string* error);
  void record(const std::string& command);

 private:
  int fd_ = -1;
  std::string line_;
};

}  // namespace modemsim
