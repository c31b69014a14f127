#include "command_reader.h"

#include <cstring>
#include <utility>

namespace modemsim {

void CommandReader::append(const char* data, std::size_t size) {
  if (pending_.empty() && !overlong_) {
    while (size > 0 && *data == '\n') {
      ++data;
      --size;
    }
  }
  const std::size_t room = kMaxCommandLength - pending_.size();
  if (size > room) {
    overlong_ = true;
    size = room;
  }
  pending_.append(data, size);
}

void CommandReader::feed(const char* data, std::size_t size, std::vector<ReceivedCommand>* done) {
  while (size > 0) {
    const char* cr = static_cast<const char*>(std::memchr(data, '\r', size));
    if (cr == nullptr) {
      append(data, size);
      return;
    }
    const std::size_t length = static_cast<std::size_t>(cr - data);
    append(data, length);
    done->push_back(ReceivedCommand{std::move(pending_), overlong_});
    pending_.clear();
    overlong_ = false;
    data = cr + 1;
    size -= length + 1;
  }
}

}  // namespace modemsim
