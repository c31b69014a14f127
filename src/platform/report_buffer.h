#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick {

// A zero-filled text buffer from the system allocator, freed when it goes
// out of scope. `size()` is what the allocator really gave, which may be more
// than was asked for; data() is null when the allocation failed.
class ReportBuffer {
 public:
  explicit ReportBuffer(std::size_t requestedSize);
  ~ReportBuffer();
  ReportBuffer(const ReportBuffer&) = delete;
  ReportBuffer& operator=(const ReportBuffer&) = delete;

  char* data() const { return data_; }
  std::uint32_t size() const { return size_; }

 private:
  char* data_ = nullptr;
  std::uint32_t size_ = 0;
};

}  // namespace tarnwick
