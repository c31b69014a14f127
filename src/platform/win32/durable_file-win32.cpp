#include <windows.h>

#include <filesystem>
#include <system_error>

#include "platform/durable_file.h"
#include "platform/last_error.h"
#include "platform/win32/wide_text.h"

namespace tarnwick {
namespace {

bool writeAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD count = 0;
    if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &count,
                   nullptr) ||
        count == 0) {
      return false;
    }
    done += count;
  }
  return true;
}

bool writeSynced(const std::string& path, const std::string& bytes, std::string& why) {
  const HANDLE file = CreateFileW(widePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    why = lastErrorLine("cannot create " + path);
    return false;
  }
  bool written = writeAll(file, bytes);
  if (!written) why = lastErrorLine("cannot write " + path);
  if (written && !FlushFileBuffers(file)) {
    why = lastErrorLine("cannot sync " + path);
    written = false;
  }
  CloseHandle(file);
  return written;
}

// MOVEFILE_WRITE_THROUGH: the call returns only once the move is on disk
// (Windows has no folder to sync).
bool moveReplacing(const std::string& from, const std::string& to) {
  return MoveFileExW(widePath(from).c_str(), widePath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace

bool writeFileDurably(const std::string& path, const std::string& bytes, std::string& why) {
  const std::string temp = path + kDurableTempSuffix;
  if (!writeSynced(temp, bytes, why)) {
    DeleteFileW(widePath(temp).c_str());
    return false;
  }
  if (!moveReplacing(temp, path)) {
    why = lastErrorLine("cannot rename " + temp + " to " + path);
    DeleteFileW(widePath(temp).c_str());
    return false;
  }
  return true;
}

bool removeFileDurably(const std::string& path, std::string& why) {
  if (DeleteFileW(widePath(path).c_str())) return true;
  why = lastErrorLine("cannot delete " + path);
  return false;
}

// The user's local app data is the user's alone, and a new folder takes the
// access of the folder above it: nothing to set.
bool createPrivateFolders(const std::string& path, std::string& why) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::u8path(path), error);
  if (!error) return true;
  why = "cannot create the folder " + path + ": " + error.message();
  return false;
}

}  // namespace tarnwick
