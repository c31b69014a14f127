// A firmware image read with ordinary synchronous Win32 file I/O. It is
// opened without sharing, or shared for reading only: either way nobody
// writes, renames or deletes it while it is sent.
#include <windows.h>

#include <algorithm>
#include <limits>

#include "platform/image_file.h"

namespace tarnwick {
namespace {

class Win32ImageFile final : public ImageFile {
 public:
  // `shareMode`: 0, or FILE_SHARE_READ so that other readers may open it.
  explicit Win32ImageFile(DWORD shareMode) : shareMode_(shareMode) {}
  ~Win32ImageFile() override { close(); }
  Win32ImageFile(const Win32ImageFile&) = delete;
  Win32ImageFile& operator=(const Win32ImageFile&) = delete;

  bool open(const std::string& path) override;
  std::uint64_t size() override;
  bool read(unsigned char* buffer, std::size_t capacity, std::size_t& got) override;
  bool readAt(std::uint64_t offset, unsigned char* buffer, std::size_t capacity,
              std::size_t& got) override;
  void close() override;

 private:
  DWORD shareMode_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

bool Win32ImageFile::open(const std::string& path) {
  close();
  file_ = CreateFileA(path.c_str(), GENERIC_READ, shareMode_, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) return false;
  // Only a disk file is an image: a named pipe or a device (NUL, a COM
  // port) could hold a read up or give bytes that are no file's.
  if (GetFileType(file_) != FILE_TYPE_DISK) {
    close();
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

// Both halves of the size, so that images of 4 GiB or more are seen as such.
// When the system cannot tell the size, the answer is the largest value,
// which no caller takes for an image it can send.
std::uint64_t Win32ImageFile::size() {
  constexpr std::uint64_t kUnknown = std::numeric_limits<std::uint64_t>::max();
  if (file_ == INVALID_HANDLE_VALUE) return kUnknown;
  DWORD high = 0;
  // A low part of all ones is also a valid size; only the error tells.
  SetLastError(NO_ERROR);
  DWORD low = GetFileSize(file_, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return kUnknown;
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

bool Win32ImageFile::read(unsigned char* buffer, std::size_t capacity, std::size_t& got) {
  got = 0;
  if (file_ == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(capacity, MAXDWORD));
  DWORD count = 0;
  if (!ReadFile(file_, buffer, wanted, &count, nullptr)) return false;
  got = count;
  return true;
}

// An offset in the OVERLAPPED block of a synchronous handle reads there
// without disturbing other readers of the same handle.
bool Win32ImageFile::readAt(std::uint64_t offset, unsigned char* buffer, std::size_t capacity,
                            std::size_t& got) {
  got = 0;
  if (file_ == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFull);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(capacity, MAXDWORD));
  DWORD count = 0;
  if (!ReadFile(file_, buffer, wanted, &count, &at)) return GetLastError() == ERROR_HANDLE_EOF;
  got = count;
  return true;
}

void Win32ImageFile::close() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
}

}  // namespace

std::unique_ptr<ImageFile> makeSystemImageFile() {
  return std::make_unique<Win32ImageFile>(0);
}

std::unique_ptr<ImageFile> makeReadSharedImageFile() {
  return std::make_unique<Win32ImageFile>(FILE_SHARE_READ);
}

}  // namespace tarnwick
