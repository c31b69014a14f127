#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "atlink/at_interface.h"
#include "platform/image_file.h"

namespace tarnwick {

// The image of a run: opened once, shared for reading (other programs may
// read it too), its size and SHA-256 taken once, then read by every worker
// at once, each through a reader of its own with its own position (so
// memory stays flat whatever the size).
class ImageSource {
 public:
  explicit ImageSource(std::unique_ptr<ImageFile> file = makeReadSharedImageFile());

  // Opens `path` and hashes it. An empty image and one of 4 GiB or more are
  // refused before the hash. On false `why` says what is wrong.
  bool open(const std::string& path, std::string& why);

  const std::string& path() const { return path_; }
  std::uint64_t size() const { return size_; }
  const std::string& sha256() const { return sha256_; }

  // Still the file, size and times that were opened and hashed.
  bool unchanged() { return file_->unchangedSinceOpen(); }

  // What a worker's link opens instead of the file itself: a reader of the
  // shared open file at a position of its own, which hashes what it reads
  // and counts as changed unless that matches sha256(). Safe from several
  // threads.
  AtInterface::ImageFileFactory readerFactory();

 private:
  std::unique_ptr<ImageFile> file_;
  std::string path_;
  std::uint64_t size_ = 0;
  std::string sha256_;
};

}  // namespace tarnwick
