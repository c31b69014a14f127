#include "support/wine_prefix.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace tarnwick::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kBootTimeoutMs = 90000;
constexpr int kServerTimeoutMs = 15000;
constexpr int kVersionTimeoutMs = 15000;
// Another test process may be making the template: wait for it this long.
constexpr int kTemplateLockTimeoutMs = 100000;
constexpr char kCompleteMarker[] = ".tarnwick-template-complete";

std::string findProgram(const std::string& name, const std::vector<std::string>& fallbacks) {
  const char* path = std::getenv("PATH");
  const std::string dirs = path != nullptr ? path : "";
  std::string::size_type start = 0;
  while (start < dirs.size()) {
    std::string::size_type end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  for (const std::string& candidate : fallbacks) {
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

std::string userNameStart() {
  return "tarnwick-wine-" + std::to_string(getuid()) + "-";
}

fs::path tempPath(const std::string& name) {
  return fs::temp_directory_path() / name;
}

// The test process that made a prefix, from its name; 0 when not one of ours.
pid_t prefixOwner(const std::string& name) {
  const std::string start = userNameStart();
  if (name.compare(0, start.size(), start) != 0) return 0;
  return static_cast<pid_t>(std::atol(name.c_str() + start.size()));
}

bool makeTempDir(const std::string& nameStart, std::string* path, std::string* error) {
  std::string pattern = tempPath(nameStart + "XXXXXX").string();
  if (mkdtemp(&pattern[0]) == nullptr) {
    *error = "cannot make " + pattern + ": " + std::strerror(errno);
    return false;
  }
  *path = pattern;
  return true;
}

// "wine-8.0 (Debian 8.0~repack-4)" as a file-name part.
bool wineVersionKey(const WineTools& tools, std::string* key, std::string* error) {
  RunResult version = runProgram(ProcessSpec({tools.wine64, "--version"}), kVersionTimeoutMs);
  if (!version.exitedWith(0) || version.out.empty()) {
    *error = "wine64 --version: " + version.describe();
    return false;
  }
  key->clear();
  for (char c : version.out) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') *key += c;
  }
  return true;
}

// An exclusive lock on a file, held until the object goes away.
class FileLock {
 public:
  explicit FileLock(const std::string& path)
      : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {}
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool acquire(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (fd_ >= 0) {
      if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
      if (errno != EWOULDBLOCK && errno != EINTR) return false;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

 private:
  int fd_;
};

// Templates of other Wine versions are of no further use.
void removeOtherTemplates(const std::string& keep) {
  const std::string start = userNameStart() + "template-";
  std::error_code ignored;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(fs::temp_directory_path(), ignored)) {
    const std::string name = entry.path().filename().string();
    if (name.compare(0, start.size(), start) == 0 && name != keep &&
        name.find(".lock") == std::string::npos) {
      fs::remove_all(entry.path(), ignored);
    }
  }
}

// Runs `wineboot -i` into a fresh folder and moves it to `templatePath` once
// it is complete, so that an interrupted boot never passes for a template.
bool buildTemplate(const WineTools& tools, const fs::path& templatePath, std::string* error) {
  std::string building;
  if (!makeTempDir(userNameStart() + std::to_string(getpid()) + "-template-", &building, error)) {
    return false;
  }
  RunResult boot =
      runProgram(wineProcess(building, {tools.wine64, "wineboot", "-i"}), kBootTimeoutMs);
  stopWineServer(tools, building);
  std::error_code ignored;
  fs::remove(fs::path(building) / "wineserver", ignored);
  if (!boot.exitedWith(0) || !std::ofstream(fs::path(building) / kCompleteMarker)) {
    *error = "wineboot -i failed in " + building + ": " + boot.describe();
    fs::remove_all(building, ignored);
    return false;
  }
  fs::remove_all(templatePath, ignored);
  fs::rename(building, templatePath, ignored);
  if (ignored) {
    *error = "cannot move " + building + " to " + templatePath.string() + ": " + ignored.message();
    fs::remove_all(building, ignored);
    return false;
  }
  return true;
}

bool ensureTemplate(const WineTools& tools, fs::path* templatePath, std::string* error) {
  std::string version;
  if (!wineVersionKey(tools, &version, error)) return false;
  const std::string name = userNameStart() + "template-" + version;
  *templatePath = tempPath(name);
  FileLock lock(tempPath(userNameStart() + "template.lock").string());
  if (!lock.acquire(kTemplateLockTimeoutMs)) {
    *error = "cannot lock the Wine template prefix";
    return false;
  }
  if (fs::exists(*templatePath / kCompleteMarker)) return true;
  removeOtherTemplates(name);
  return buildTemplate(tools, *templatePath, error);
}

// The DLL folders, which Wine writes only when it brings a prefix up to date.
bool sharedPart(const fs::path& relative) {
  const std::string text = relative.generic_string();
  for (const char* folder :
       {"drive_c/windows/system32/", "drive_c/windows/syswow64/", "drive_c/windows/winsxs/"}) {
    if (text.compare(0, std::strlen(folder), folder) == 0) return true;
  }
  return false;
}

bool copyEntry(const fs::directory_entry& entry, const fs::path& relative, const fs::path& target,
               std::error_code& failed) {
  if (entry.is_symlink()) {
    fs::copy_symlink(entry.path(), target, failed);
  } else if (entry.is_directory()) {
    fs::create_directory(target, failed);
  } else if (sharedPart(relative)) {
    fs::create_hard_link(entry.path(), target, failed);
    if (failed) {
      failed.clear();
      fs::copy_file(entry.path(), target, failed);
    }
  } else {
    fs::copy_file(entry.path(), target, failed);
  }
  return !failed;
}

bool clonePrefix(const fs::path& from, const fs::path& to, std::string* error) {
  std::error_code failed;
  for (fs::recursive_directory_iterator it(from, failed), end; !failed && it != end;
       it.increment(failed)) {
    // Lexically: fs::relative would follow the prefix's symlinks (z: -> /).
    const fs::path relative = it->path().lexically_relative(from);
    if (relative == kCompleteMarker || relative == "wineserver") continue;
    std::error_code copyFailed;
    if (!copyEntry(*it, relative, to / relative, copyFailed)) {
      *error =
          "cannot copy " + it->path().string() + " to " + to.string() + ": " + copyFailed.message();
      return false;
    }
  }
  if (failed) *error = "cannot read " + from.string() + ": " + failed.message();
  return !failed;
}

}  // namespace

bool findWineTools(WineTools* tools, std::string* error) {
  tools->wine64 = findProgram(
      "wine64", {"/usr/lib/wine/wine64", "/usr/lib64/wine/wine64", "/opt/wine-stable/bin/wine64"});
  tools->wineserver =
      findProgram("wineserver", {"/usr/lib/wine/wineserver", "/usr/lib64/wine/wineserver"});
  if (!tools->wine64.empty() && !tools->wineserver.empty()) return true;
  *error = "wine64 or wineserver not found (PATH, /usr/lib/wine)";
  return false;
}

ProcessSpec wineProcess(const std::string& prefix, std::vector<std::string> argv) {
  ProcessSpec launch(std::move(argv));
  launch.extraEnv = {{"WINEPREFIX", prefix},
                     {"WINEDEBUG", "-all"},
                     {"WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d"},
                     {"DISPLAY", ""},
                     {"WAYLAND_DISPLAY", ""}};
  return launch;
}

bool makePrivatePrefix(const WineTools& tools, std::string* prefix, std::string* error) {
  fs::path templatePath;
  if (!ensureTemplate(tools, &templatePath, error)) return false;
  if (!makeTempDir(userNameStart() + std::to_string(getpid()) + "-", prefix, error)) return false;
  if (clonePrefix(templatePath, *prefix, error)) return true;
  std::error_code ignored;
  fs::remove_all(*prefix, ignored);
  return false;
}

void stopWineServer(const WineTools& tools, const std::string& prefix) {
  runProgram(wineProcess(prefix, {tools.wineserver, "-k"}), kServerTimeoutMs);
  runProgram(wineProcess(prefix, {tools.wineserver, "-w"}), kServerTimeoutMs);
}

void removeAbandonedPrefixes(const WineTools& tools) {
  std::error_code ignored;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(fs::temp_directory_path(), ignored)) {
    const pid_t owner = prefixOwner(entry.path().filename().string());
    if (owner <= 0 || owner == getpid()) continue;
    if (kill(owner, 0) == 0 || errno != ESRCH) continue;
    stopWineServer(tools, entry.path().string());
    fs::remove_all(entry.path(), ignored);
  }
}

}  // namespace tarnwick::testing
