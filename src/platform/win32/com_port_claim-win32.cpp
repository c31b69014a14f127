#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/com_port_claim.h"

namespace tarnwick {
namespace {

constexpr DWORD kNoteSize = 512;

std::string thisProgram() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string name(path, length);
  const std::size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  return (name.empty() ? "?" : name) + " (pid " + std::to_string(GetCurrentProcessId()) + ")";
}

// The machine-wide name where the system allows it, else the session's.
HANDLE openClaim(const std::string& name) {
  HANDLE claim = CreateSemaphoreA(nullptr, 1, 1, ("Global\\" + name).c_str());
  if (claim == nullptr) claim = CreateSemaphoreA(nullptr, 1, 1, ("Local\\" + name).c_str());
  return claim;
}

}  // namespace

bool ComPortClaim::take(int comNumber, std::string& holder) {
  release();
  holder.clear();
  const std::string name = "Tarnwick.COM" + std::to_string(comNumber);
  claim_ = openClaim(name);
  // Where no claim can be made at all, the port's own rules are all there is.
  if (claim_ == nullptr) return true;
  if (WaitForSingleObject(claim_, 0) == WAIT_OBJECT_0) {
    leaveHolderNote(name);
    return true;
  }
  CloseHandle(claim_);
  claim_ = nullptr;
  holder = readHolderNote(name);
  SetLastError(ERROR_ACCESS_DENIED);
  return false;
}

void ComPortClaim::release() {
  if (note_ != nullptr) CloseHandle(note_);
  note_ = nullptr;
  if (claim_ == nullptr) return;
  const DWORD saved = GetLastError();
  ReleaseSemaphore(claim_, 1, nullptr);
  CloseHandle(claim_);
  claim_ = nullptr;
  SetLastError(saved);
}

void ComPortClaim::leaveHolderNote(const std::string& name) {
  note_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kNoteSize,
                             ("Local\\" + name + ".holder").c_str());
  if (note_ == nullptr) return;
  void* view = MapViewOfFile(note_, FILE_MAP_WRITE, 0, 0, kNoteSize);
  if (view == nullptr) return;
  const std::string text = thisProgram();
  std::memset(view, 0, kNoteSize);
  std::memcpy(view, text.data(), std::min<std::size_t>(text.size(), kNoteSize - 1));
  UnmapViewOfFile(view);
}

std::string ComPortClaim::readHolderNote(const std::string& name) {
  HANDLE note = OpenFileMappingA(FILE_MAP_READ, FALSE, ("Local\\" + name + ".holder").c_str());
  if (note == nullptr) return {};
  std::string text;
  if (const void* view = MapViewOfFile(note, FILE_MAP_READ, 0, 0, kNoteSize)) {
    const char* bytes = static_cast<const char*>(view);
    text.assign(bytes, strnlen(bytes, kNoteSize - 1));
    UnmapViewOfFile(view);
  }
  CloseHandle(note);
  return text;
}

}  // namespace tarnwick
