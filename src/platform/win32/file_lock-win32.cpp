#include <windows.h>

#include "platform/file_lock.h"
#include "platform/last_error.h"
#include "platform/win32/wide_text.h"

namespace tarnwick {
namespace {

// The byte locked: far past what the file holds, so that the holder's line
// at its start stays readable by others (a locked range cannot be read).
constexpr DWORD kLockedOffsetHigh = 0;
constexpr DWORD kLockedOffsetLow = 0x40000000;

bool lockByte(HANDLE file) {
  OVERLAPPED where = {};
  where.Offset = kLockedOffsetLow;
  where.OffsetHigh = kLockedOffsetHigh;
  return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where);
}

std::string holderOf(HANDLE file) {
  char text[256];
  DWORD count = 0;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  if (!ReadFile(file, text, sizeof text - 1, &count, nullptr)) count = 0;
  std::string holder(text, count);
  while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\r')) holder.pop_back();
  return holder.empty() ? "another program" : holder;
}

void writeHolder(HANDLE file, const std::string& line) {
  DWORD count = 0;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  if (WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &count, nullptr)) {
    SetEndOfFile(file);
  }
}

}  // namespace

FileLock::~FileLock() {
  release();
}

FileLock::Take FileLock::take(const std::string& path, const std::string& holder,
                              std::string& why) {
  release();
  const HANDLE file = CreateFileW(widePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    why = lastErrorLine("cannot open " + path);
    return Take::Failed;
  }
  if (!lockByte(file)) {
    const bool busy = GetLastError() == ERROR_LOCK_VIOLATION;
    why = busy ? holderOf(file) : lastErrorLine("cannot lock " + path);
    CloseHandle(file);
    return busy ? Take::Busy : Take::Failed;
  }
  writeHolder(file, holder + " (pid " + std::to_string(GetCurrentProcessId()) + ")\r\n");
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return Take::Taken;
}

void FileLock::release() {
  if (handle_ == kNone) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));  // closing the handle lets go of the lock
  handle_ = kNone;
}

}  // namespace tarnwick
