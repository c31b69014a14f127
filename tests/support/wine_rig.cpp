#include "support/wine_rig.h"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace tarnwick::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kBootTimeoutMs = 120000;
constexpr int kServerTimeoutMs = 15000;
constexpr int kRegistryTimeoutMs = 30000;
// The wineserver outlives its last client by this long, so that the tests'
// Wine runs share one server; a test process killed before it could stop
// the server leaves it running no longer than this.
constexpr char kServerLingerSeconds[] = "-p60";
constexpr char kUsbEnumKey[] = "HKLM\\System\\CurrentControlSet\\Enum\\USB";
// How `reg query` names the keys below it.
constexpr char kListedKeyStart[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\";

std::string findProgram(const std::string& name, const std::vector<std::string>& fallbacks) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "";
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

std::string prefixNameStart() {
  return "tarnwick-wine-" + std::to_string(getuid()) + "-";
}

// The test process that made a prefix, from its name; 0 when not one of ours.
pid_t prefixOwner(const std::string& name) {
  const std::string start = prefixNameStart();
  if (name.compare(0, start.size(), start) != 0) return 0;
  return static_cast<pid_t>(std::atol(name.c_str() + start.size()));
}

long long msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

// Whether `reg query` output names the USB device key `key`.
bool listsKey(const std::string& listing, const std::string& key) {
  const std::string line = kListedKeyStart + key;
  for (std::string::size_type at = listing.find(line); at != std::string::npos;
       at = listing.find(line, at + 1)) {
    const std::string::size_type after = at + line.size();
    if (after == listing.size() || listing[after] == '\r' || listing[after] == '\n') return true;
  }
  return false;
}

bool writeTextFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  return static_cast<bool>(file);
}

// Removes the prefixes of test processes of this user that no longer exist
// (killed at their time limit before they could clean up).
void removeAbandonedPrefixes(const std::string& wineserver) {
  std::error_code ignored;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(fs::temp_directory_path(), ignored)) {
    const pid_t owner = prefixOwner(entry.path().filename().string());
    if (owner <= 0 || owner == getpid()) continue;
    if (kill(owner, 0) == 0 || errno != ESRCH) continue;
    ProcessSpec stop({wineserver, "-k"});
    stop.extraEnv = {{"WINEPREFIX", entry.path().string()}};
    runProgram(stop, kServerTimeoutMs);
    fs::remove_all(entry.path(), ignored);
  }
}

}  // namespace

WineRig& WineRig::shared() {
  static WineRig rig;
  return rig;
}

WineRig::WineRig() {
  ready_ = boot();
}

WineRig::~WineRig() {
  shutdown();
}

ProcessSpec WineRig::wineSpec(std::vector<std::string> argv) const {
  ProcessSpec spec(std::move(argv));
  spec.extraEnv = {{"WINEPREFIX", prefix_},
                   {"WINEDEBUG", "-all"},
                   // No Mono or Gecko installer dialogs, and no windows at all.
                   {"WINEDLLOVERRIDES", "mscoree,mshtml="},
                   {"DISPLAY", ""},
                   {"WAYLAND_DISPLAY", ""}};
  return spec;
}

bool WineRig::boot() {
  wine64_ = findProgram(
      "wine64", {"/usr/lib/wine/wine64", "/usr/lib64/wine/wine64", "/opt/wine-stable/bin/wine64"});
  wineserver_ =
      findProgram("wineserver", {"/usr/lib/wine/wineserver", "/usr/lib64/wine/wineserver"});
  if (wine64_.empty() || wineserver_.empty()) {
    error_ = "wine64 or wineserver not found (PATH, /usr/lib/wine)";
    return false;
  }
  removeAbandonedPrefixes(wineserver_);
  std::string pattern =
      (fs::temp_directory_path() / (prefixNameStart() + std::to_string(getpid()) + "-XXXXXX"))
          .string();
  if (mkdtemp(&pattern[0]) == nullptr) {
    error_ = std::string("cannot make the Wine prefix folder: ") + std::strerror(errno);
    return false;
  }
  prefix_ = pattern;
  const auto start = std::chrono::steady_clock::now();
  if (!startServer()) return false;
  RunResult boot = runProgram(wineSpec({wine64_, "wineboot", "-i"}), kBootTimeoutMs);
  bootMs_ = msSince(start);
  if (!boot.exitedWith(0)) {
    error_ = "wineboot -i failed in " + prefix_ + ": " + boot.describe();
    return false;
  }
  return true;
}

// A server of our own, started before anything else uses the prefix, so
// that it is the one kept running between the tests' Wine runs.
bool WineRig::startServer() {
  RunResult server = runProgram(wineSpec({wineserver_, kServerLingerSeconds}), kServerTimeoutMs);
  if (server.exitedWith(0)) return true;
  error_ = "cannot start the wineserver for " + prefix_ + ": " + server.describe();
  return false;
}

void WineRig::shutdown() {
  if (prefix_.empty()) return;
  runProgram(wineSpec({wineserver_, "-k"}), kServerTimeoutMs);
  runProgram(wineSpec({wineserver_, "-w"}), kServerTimeoutMs);
  std::error_code ignored;
  fs::remove_all(prefix_, ignored);
  prefix_.clear();
  ready_ = false;
}

RunResult WineRig::run(const std::string& exePath, const std::vector<std::string>& arguments,
                       int timeoutMs, const std::string& workingDir) {
  if (!ready_) {
    RunResult result;
    result.error = "Wine rig not ready: " + error_;
    return result;
  }
  std::vector<std::string> argv = {wine64_, exePath};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  ProcessSpec spec = wineSpec(std::move(argv));
  spec.workingDir = workingDir;
  return runProgram(spec, timeoutMs);
}

// Loads a .reg file with regedit, which says nothing and exits with 0 even
// when it loads nothing: the USB key is listed afterwards to check that the
// rig's device keys are exactly there.
bool WineRig::loadRegistryFile(const std::string& text, const std::vector<std::string>& removedKeys,
                               std::string* error) {
  const std::vector<std::string>& expectedKeys = deviceKeys_;
  const std::string path = prefix_ + "/tarnwick-usb-devices.reg";
  if (!writeTextFile(path, text)) {
    *error = "cannot write " + path;
    return false;
  }
  RunResult load = runProgram(wineSpec({wine64_, "regedit", "/S", path}), kRegistryTimeoutMs);
  if (!load.exitedWith(0) || !load.out.empty() || !load.err.empty()) {
    *error = "regedit " + path + ": " + load.describe();
    return false;
  }
  RunResult list = runProgram(wineSpec({wine64_, "reg", "query", kUsbEnumKey}), kRegistryTimeoutMs);
  std::string wrong;
  for (const std::string& key : expectedKeys) {
    if (!listsKey(list.out, key)) wrong += " missing " + key;
  }
  for (const std::string& key : removedKeys) {
    const bool keptOn =
        std::find(expectedKeys.begin(), expectedKeys.end(), key) != expectedKeys.end();
    if (!keptOn && listsKey(list.out, key)) wrong += " left " + key;
  }
  if (!wrong.empty()) {
    *error = "USB device keys wrong after regedit:" + wrong + "; " + list.describe();
    return false;
  }
  return true;
}

bool WineRig::setUsbDevices(const std::vector<WineUsbDevice>& devices, std::string* error) {
  if (!ready_) {
    *error = "Wine rig not ready: " + error_;
    return false;
  }
  const std::vector<std::string> oldKeys = deviceKeys_;
  deviceKeys_.clear();
  for (std::size_t i = 0; i < devices.size(); ++i) {
    deviceKeys_.push_back(wineDeviceKeyName(static_cast<int>(i), devices[i]));
  }
  return loadRegistryFile(wineUsbRegistryFile(oldKeys, devices, 0), oldKeys, error);
}

bool WineRig::addUsbDevice(const WineUsbDevice& device, std::string* error) {
  if (!ready_) {
    *error = "Wine rig not ready: " + error_;
    return false;
  }
  const int position = static_cast<int>(deviceKeys_.size());
  deviceKeys_.push_back(wineDeviceKeyName(position, device));
  return loadRegistryFile(wineUsbRegistryFile({}, {device}, position), {}, error);
}

bool WineRig::clearUsbDevices(std::string* error) {
  return setUsbDevices({}, error);
}

bool WineRig::linkComPort(int comNumber, const std::string& ttyPath, std::string* error) {
  if (!ready_) {
    *error = "Wine rig not ready: " + error_;
    return false;
  }
  const std::string link = prefix_ + "/dosdevices/com" + std::to_string(comNumber);
  unlink(link.c_str());
  if (symlink(ttyPath.c_str(), link.c_str()) != 0) {
    *error = "cannot link " + link + " to " + ttyPath + ": " + std::strerror(errno);
    return false;
  }
  linkedPorts_.push_back(comNumber);
  return true;
}

void WineRig::unlinkComPort(int comNumber) {
  if (prefix_.empty()) return;
  unlink((prefix_ + "/dosdevices/com" + std::to_string(comNumber)).c_str());
}

bool WineRig::reset(std::string* error) {
  for (int comNumber : linkedPorts_) unlinkComPort(comNumber);
  linkedPorts_.clear();
  if (deviceKeys_.empty()) return true;
  return clearUsbDevices(error);
}

std::string windowsBuildFile(const std::string& relativePath) {
  return std::string(TARNWICK_WINDOWS_BUILD_DIR) + "/" + relativePath;
}

}  // namespace tarnwick::testing
