#pragma once

#include <cstdint>
#include <string>

namespace tarnwick {

// An exclusive lock on one file, held by this process while the object
// holds it and let go at `release`, at destruction or when the process
// ends however it ends (flock on Linux, LockFileEx on Windows), so a
// crashed holder never leaves it stuck. The file holds a line saying who
// holds it, for whoever finds it taken. Paths are UTF-8 text.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  enum class Take { Taken, Busy, Failed };

  // Takes the lock on `path` (creating the file, private to the user)
  // without waiting. Taken: the file now says `holder` and this process's
  // id. Busy: another holds it and `why` says what its file says. Failed:
  // `why` says what went wrong.
  Take take(const std::string& path, const std::string& holder, std::string& why);
  void release();
  bool held() const { return handle_ != kNone; }

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
};

}  // namespace tarnwick
