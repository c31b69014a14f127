#include <windows.h>

#include "platform/report_buffer.h"

namespace tarnwick {

ReportBuffer::ReportBuffer(std::size_t requestedSize) {
  HLOCAL memory = LocalAlloc(LMEM_ZEROINIT, requestedSize);
  if (memory == nullptr) return;
  data_ = static_cast<char*>(memory);
  size_ = static_cast<std::uint32_t>(LocalSize(memory));
}

ReportBuffer::~ReportBuffer() {
  if (data_ != nullptr) LocalFree(data_);
}

}  // namespace tarnwick
