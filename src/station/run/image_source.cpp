#include "station/run/image_source.h"

#include "download/image_limits.h"
#include "platform/last_error.h"
#include "platform/sha256.h"
#include "station/run/image_hash.h"

namespace tarnwick {
namespace {

// One worker's view of the shared image: `open` only checks that the name
// is the run's image; reads go to the shared file at this reader's offset.
// Every byte read is hashed, and the download reads exactly the bytes its
// packets are built from: before the download's end command the reader
// says whether they are the bytes hashed when the run began. A write the
// file's times do not show (through a shared writable mapping) is caught
// so, as well as one they do show.
class SharedImageReader final : public ImageFile {
 public:
  SharedImageReader(ImageFile& shared, std::string path, std::uint64_t size,
                    const std::string& sha256)
      : shared_(shared), path_(std::move(path)), size_(size), sha256_(sha256) {}

  bool open(const std::string& path) override {
    offset_ = 0;
    hash_ = makeSystemSha256();
    return path == path_ && hash_ != nullptr;
  }
  std::uint64_t size() override { return size_; }
  bool read(unsigned char* buffer, std::size_t capacity, std::size_t& got) override {
    if (!shared_.readAt(offset_, buffer, capacity, got)) return false;
    offset_ += got;
    hashed_ = hash_->update(buffer, got);
    return hashed_;
  }
  // Called once, after the last packet: the hash is finished here.
  bool unchangedSinceOpen() override {
    Sha256::Digest digest{};
    const bool sameBytes =
        hashed_ && offset_ == size_ && hash_->finish(digest) && sha256Hex(digest) == sha256_;
    return sameBytes && shared_.unchangedSinceOpen();
  }
  void close() override {}

 private:
  ImageFile& shared_;
  std::string path_;
  std::uint64_t size_;
  const std::string& sha256_;
  std::unique_ptr<Sha256> hash_;
  bool hashed_ = true;
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
  // Refused at once, before the long hash and before any modem hears of it.
  if (size_ > kLargestImageSize) {
    why = "it is 4 GiB or larger - too large to download";
    return false;
  }
  if (size_ == 0) {
    why = "it is empty";
    return false;
  }
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
    return std::make_unique<SharedImageReader>(*file_, path_, size_, sha256_);
  };
}

}  // namespace tarnwick
