#include <cstdlib>

#include "platform/report_buffer.h"

namespace tarnwick {

ReportBuffer::ReportBuffer(std::size_t requestedSize) {
  data_ = static_cast<char*>(std::calloc(requestedSize, 1));
  if (data_ != nullptr) size_ = static_cast<std::uint32_t>(requestedSize);
}

ReportBuffer::~ReportBuffer() {
  std::free(data_);
}

}  // namespace tarnwick
