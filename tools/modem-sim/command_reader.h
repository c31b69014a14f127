#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace modemsim {

// One command line as received, without its carriage return.
struct ReceivedCommand {
  std::string text;
  bool overlong = false;  // longer than the reader keeps; `text` is cut
};

// Cuts the byte stream from the client into commands: the bytes up to each
// carriage return form one command; line feeds at the start of a command
// (the LF of a client that ends lines with CRLF) are dropped.
class CommandReader {
 public:
  static constexpr std::size_t kMaxCommandLength = 1 << 20;

  // Adds received bytes; appends every command they complete to `done`.
  void feed(const char* data, std::size_t size, std::vector<ReceivedCommand>* done);

 private:
  void append(const char* data, std::size_t size);

  std::string pending_;
  bool overlong_ = false;
};

}  // namespace modemsim
