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

  bool open(const std::string& path, std::string& why) override {
    file_ = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ != INVALID_HANDLE_VALUE) return true;
    systemErrorText(lastErrorCode(), why);
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) why.pop_back();
    return false;
  }

  bool append(const std::string& text) override {
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
    return FlushFileBuffers(file_) != 0;
  }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace

std::unique_ptr<SyncedAppendFile> makeSystemSyncedAppendFile() {
  return std::make_unique<Win32SyncedAppendFile>();
}

}  // namespace tarnwick
