#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tarnwick {

// A firmware image opened for reading, read front to back (or at offsets).
class ImageFile {
 public:
  virtual ~ImageFile() = default;

  // Opens `path` for reading, refusing to share it with other openers where
  // the system allows that. On false the thread's last-error value says why.
  virtual bool open(const std::string& path) = 0;

  // The file's full size in bytes, taken from the open file.
  virtual std::uint64_t size() = 0;

  // Reads up to `capacity` bytes from the current position. False when the
  // system reports an error; `got` is 0 at the end of the file.
  virtual bool read(unsigned char* buffer, std::size_t capacity, std::size_t& got) = 0;

  // Reads up to `capacity` bytes at `offset` without moving the position
  // `read` uses, so several threads may read one open file at once, each
  // at its own offset. False on a system error, and from files that cannot
  // read at an offset; `got` is 0 at the end of the file.
  virtual bool readAt(std::uint64_t /*offset*/, unsigned char* /*buffer*/, std::size_t /*capacity*/,
                      std::size_t& got) {
    got = 0;
    return false;
  }

  // True while the file is still the one opened, in the state it was opened
  // in (same file, size and times). Where the system keeps other writers
  // out while it is open, that always holds.
  virtual bool unchangedSinceOpen() { return true; }

  // Closes the file if it is open.
  virtual void close() = 0;
};

// Opened without sharing: nobody else may open the file while it is sent
// (the one-modem tool's image).
std::unique_ptr<ImageFile> makeSystemImageFile();

// Opened shared for reading: other programs and other readers may read the
// file at the same time, but nobody may write, rename or delete it while it
// is open, where the system enforces that (the station's image, read by
// every worker at once).
std::unique_ptr<ImageFile> makeReadSharedImageFile();

}  // namespace tarnwick
