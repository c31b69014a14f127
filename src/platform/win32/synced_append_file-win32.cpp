#include <windows.h>

#include "platform/last_error.h"
#include "platform/synced_append_file.h"

namespace tarnwick {
namespace {

class Win32SyncedAppendFile final : public SyncedAppendFile {
 public:
  ~Win32SyncedAppendFile() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }

  // Read and write access (not append-only): the last byte is read on
  // opening, and a failed addition is cut back with SetEndOfFile.
  bool open(const std::string& path, std::string& why) override {
    file_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
      systemErrorText(lastErrorCode(), why);
      while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) why.pop_back();
      return false;
    }
    if (GetFileType(file_) != FILE_TYPE_DISK) {
      CloseHandle(file_);
      file_ = INVALID_HANDLE_VALUE;
      why = "not a regular file";
      return false;
    }
    startOnNewLine_ = endsInTornLine();
    return true;
  }

  bool append(const std::string& text) override {
    LARGE_INTEGER before{};
    if (!SetFilePointerEx(file_, LARGE_INTEGER{}, &before, FILE_END)) return false;
    const std::string whole = (startOnNewLine_ ? "\n" : "") + text;
    if (writeAll(whole) && FlushFileBuffers(file_) != 0) {
      startOnNewLine_ = false;
      return true;
    }
    // Nothing of a record that is not all there stays behind it.
    if (SetFilePointerEx(file_, before, nullptr, FILE_BEGIN)) SetEndOfFile(file_);
    FlushFileBuffers(file_);
    return false;
  }

 private:
  // A file cut at its last byte by an earlier run keeps that fragment: the
  // next record starts on a new line, so the fragment is a line of its own
  // that a reader skips, and nothing is lost (it may be a whole record that
  // lacks only its newline).
  bool endsInTornLine() {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_, &size) || size.QuadPart == 0) return false;
    LARGE_INTEGER last{};
    last.QuadPart = size.QuadPart - 1;
    char byte = '\n';
    DWORD got = 0;
    if (!SetFilePointerEx(file_, last, nullptr, FILE_BEGIN) ||
        !ReadFile(file_, &byte, 1, &got, nullptr)) {
      return false;
    }
    return got == 1 && byte != '\n';
  }

  bool writeAll(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      DWORD count = 0;
      if (!WriteFile(file_, text.data() + done, static_cast<DWORD>(text.size() - done), &count,
                     nullptr) ||
          count == 0) {
        return false;
      }
      done += count;
    }
    return true;
  }

  HANDLE file_ = INVALID_HANDLE_VALUE;
  bool startOnNewLine_ = false;
};

}  // namespace

std::unique_ptr<SyncedAppendFile> makeSystemSyncedAppendFile() {
  return std::make_unique<Win32SyncedAppendFile>();
}

}  // namespace tarnwick
