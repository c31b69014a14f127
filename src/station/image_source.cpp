#include "station/image_source.h"

#include "platform/last_error.h"
#include "station/sha256.h"

namespace tarnwick {
namespace {

// One worker's view of the shared image: `open` only checks that the name
// is the run's image; reads go to the shared file at this reader's offset.
class SharedImageReader final : public ImageFile {
 public:
  SharedImageReader(ImageFile& shared, std::string path, std::uint64_t size)
      : shared_(shared), path_(std::move(path)), size_(size) {}

  bool open(const std::string& path) override {
    offset_ = 0;
    return path == path_;
  }
  std::uint64_t size() override { return size_; }
  bool read(unsigned char* buffer, std::size_t capacity, std::size_t& got) override {
    if (!shared_.readAt(offset_, buffer, capacity, got)) return false;
    offset_ += got;
    return true;
  }
  bool unchangedSinceOpen() override { return shared_.unchangedSinceOpen(); }
  void close() override {}

 private:
  ImageFile& shared_;
  std::string path_;
  std::uint64_t size_;
  std::uint64_t offset_ = 0;
};

}  // namespace

ImageSource::ImageSource(std::unique_ptr<ImageFile> file) : file_(std::move(file)) {}

bool ImageSource::open(const std::string& path, std::string& why) {
  if (!file_->open(path)) {
    systemErrorText(lastErrorCode(), why);
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) why.pop_back();
    return false;
  }
  path_ = path;
  size_ = file_->size();
  if (!sha256OfImage(*file_, size_, sha256_)) {
    why = "it could not be read to its end for its SHA-256";
    return false;
  }
  if (!file_->unchangedSinceOpen()) {
    why = "it changed while its SHA-256 was taken";
    return false;
  }
  return true;
}

AtInterface::ImageFileFactory ImageSource::readerFactory() {
  return [this]() -> std::unique_ptr<ImageFile> {
    return std::make_unique<SharedImageReader>(*file_, path_, size_);
  };
}

}  // namespace tarnwick
