#pragma once

#include <memory>
#include <string>

#include "platform/image_file.h"

namespace tarnwick::testing {

// The system's image file, with its successful opens and its closes counted,
// so tests can see that a download closes what it opened on every path.
class CountingImageFile : public ImageFile {
 public:
  CountingImageFile(int& opens, int& closes) : opens_(opens), closes_(closes) {}
  bool open(const std::string& path) override {
    const bool ok = file_->open(path);
    opens_ += ok ? 1 : 0;
    return ok;
  }
  std::uint64_t size() override { return file_->size(); }
  bool read(unsigned char* buffer, std::size_t capacity, std::size_t& got) override {
    return file_->read(buffer, capacity, got);
  }
  bool unchangedSinceOpen() override { return file_->unchangedSinceOpen(); }
  void close() override {
    ++closes_;
    file_->close();
  }

 protected:
  std::unique_ptr<ImageFile> file_ = makeSystemImageFile();
  int& opens_;
  int& closes_;
};

}  // namespace tarnwick::testing
