#include "support/wine_rig.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/wine_prefix.h"

namespace tarnwick::testing {
namespace {

constexpr int kServerTimeoutMs = 15000;
constexpr int kRegistryTimeoutMs = 30000;
// The wineserver outlives its last client by this long, so that the tests'
// Wine runs share one server; a test process killed before it could stop
// the server leaves it running no longer than this.
constexpr char kServerLingerSeconds[] = "-p60";
constexpr char kUsbEnumKey[] = "HKLM\\System\\CurrentControlSet\\Enum\\USB";
// How `reg query` names the keys below it.
constexpr char kListedKeyStart[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\";

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

bool contains(const std::vector<std::string>& keys, const std::string& key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

bool writeTextFile(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  return static_cast<bool>(file);
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

bool WineRig::boot() {
  const auto start = std::chrono::steady_clock::now();
  if (!findWineTools(&tools_, &error_)) return false;
  removeAbandonedPrefixes(tools_);
  if (!makePrivatePrefix(tools_, &prefix_, &error_)) return false;
  // A server of our own, started before anything else uses the prefix, so
  // that it is the one kept running between the tests' Wine runs.
  RunResult server =
      runProgram(wineProcess(prefix_, {tools_.wineserver, kServerLingerSeconds}), kServerTimeoutMs);
  bootMs_ = msSince(start);
  if (server.exitedWith(0)) return true;
  error_ = "cannot start the wineserver for " + prefix_ + ": " + server.describe();
  return false;
}

void WineRig::shutdown() {
  if (prefix_.empty()) return;
  stopWineServer(tools_, prefix_);
  std::error_code ignored;
  std::filesystem::remove_all(prefix_, ignored);
  prefix_.clear();
  ready_ = false;
}

RunResult WineRig::run(const std::string& exePath, const std::vector<std::string>& arguments,
                       int timeoutMs, const std::string& workingDir,
                       const std::vector<std::string>& wrapper) {
  if (!ready_) {
    RunResult result;
    result.error = "Wine rig not ready: " + error_;
    return result;
  }
  ProcessSpec launch = launchSpec(exePath, arguments, workingDir);
  launch.argv.insert(launch.argv.begin(), wrapper.begin(), wrapper.end());
  return runProgram(launch, timeoutMs);
}

ProcessSpec WineRig::launchSpec(const std::string& exePath,
                                const std::vector<std::string>& arguments,
                                const std::string& workingDir) const {
  std::vector<std::string> argv{tools_.wine64, exePath};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  ProcessSpec launch = wineProcess(prefix_, std::move(argv));
  launch.workingDir = workingDir;
  return launch;
}

// Loads a .reg file with regedit, which says nothing and exits with 0 even
// when it loads nothing: the USB key is listed afterwards, with all below
// it, to check that `expectedKeys` are there and `removedKeys` are gone.
bool WineRig::loadRegistryFile(const std::string& text,
                               const std::vector<std::string>& expectedKeys,
                               const std::vector<std::string>& removedKeys, std::string* error) {
  const std::string path = prefix_ + "/tarnwick-usb-devices.reg";
  if (!writeTextFile(path, text)) {
    *error = "cannot write " + path;
    return false;
  }
  RunResult load =
      runProgram(wineProcess(prefix_, {tools_.wine64, "regedit", "/S", path}), kRegistryTimeoutMs);
  if (!load.exitedWith(0) || !load.out.empty() || !load.err.empty()) {
    *error = "regedit " + path + ": " + load.describe();
    return false;
  }
  // reg.exe has been seen, on a loaded machine, to exit 1 with no output
  // although the keys were there: a listing that failed to run is taken
  // again, a wrong one is not.
  RunResult list;
  for (int attempt = 0; attempt < 3; ++attempt) {
    list = runProgram(wineProcess(prefix_, {tools_.wine64, "reg", "query", kUsbEnumKey, "/s"}),
                      kRegistryTimeoutMs);
    if (list.exitedWith(0) || expectedKeys.empty()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  std::string wrong;
  for (const std::string& key : expectedKeys) {
    if (!listsKey(list.out, key)) wrong += " missing " + key;
  }
  for (const std::string& key : removedKeys) {
    if (!contains(expectedKeys, key) && listsKey(list.out, key)) wrong += " left " + key;
  }
  if (wrong.empty()) return true;
  *error = "USB device keys wrong after regedit:" + wrong + "; " + list.describe();
  return false;
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
  pluggedModems_.clear();
  return loadRegistryFile(wineUsbRegistryFile(oldKeys, devices, 0), deviceKeys_, oldKeys, error);
}

bool WineRig::addUsbDevice(const WineUsbDevice& device, std::string* error) {
  if (!ready_) {
    *error = "Wine rig not ready: " + error_;
    return false;
  }
  const int position = static_cast<int>(deviceKeys_.size());
  deviceKeys_.push_back(wineDeviceKeyName(position, device));
  return loadRegistryFile(wineUsbRegistryFile({}, {device}, position), deviceKeys_, {}, error);
}

bool WineRig::setModems(const std::vector<WineModem>& modems, std::string* error) {
  if (!ready_) {
    *error = "Wine rig not ready: " + error_;
    return false;
  }
  std::map<std::string, PluggedModem> next;
  for (const WineModem& modem : modems) {
    const std::vector<std::string> keys = wineModemInstanceKeys(modem);
    next[keys.front()] = PluggedModem{keys, wineModemSections(modem)};
  }
  // A modem stays untouched when it is there before and after, unchanged.
  auto stays = [this, &next](const std::string& name) {
    const auto before = pluggedModems_.find(name);
    const auto after = next.find(name);
    return before != pluggedModems_.end() && after != next.end() &&
           before->second.sections == after->second.sections;
  };
  std::vector<std::string> removed;
  for (const auto& [name, plugged] : pluggedModems_) {
    if (stays(name)) continue;
    removed.insert(removed.end(), plugged.instanceKeys.begin(), plugged.instanceKeys.end());
  }
  std::string text = wineUsbRegistryFile(removed, {}, 0);
  std::vector<std::string> expected;
  for (const auto& [name, plugged] : next) {
    if (!stays(name)) text += plugged.sections;
    expected.insert(expected.end(), plugged.instanceKeys.begin(), plugged.instanceKeys.end());
  }
  for (const WineModem& modem : modems) {
    for (const std::string& key : wineModemDeviceKeys(modem)) {
      if (!contains(deviceKeys_, key)) deviceKeys_.push_back(key);
    }
  }
  pluggedModems_ = std::move(next);
  return loadRegistryFile(text, expected, removed, error);
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
