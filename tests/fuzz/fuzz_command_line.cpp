// The whole program (runTool) on fakes, with an argument vector made from the
// input. The first six bytes set the scene: which modems are plugged in and
// on which COM number, how the modem answers, the packet size it announces,
// the image file. The rest is split at NUL bytes into up to eight arguments,
// each in a buffer of exactly its size, so a read past an argument shows.
//
// The modem checks every packet against the image as it arrives. After the
// run: the exit code is 0, 1 or -1 (-1 exactly when no argument was given);
// a 0 is a job really done (help asked for, an AT command answered OK, or the
// whole image received and the download ended); the device search made at
// most one round of scans; the port is closed at shutdown.
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "atlink/at_commands.h"
#include "atlink/at_interface.h"
#include "cli/debug_mode.h"
#include "cli/entry.h"
#include "discovery/default_identities.h"
#include "fuzz_check.h"
#include "observed_port.h"
#include "platform/last_error.h"
#include "support/fake_usb_device_list.h"
#include "support/recording_sleeper.h"

namespace {

using tarnwick::AtInterface;
using tarnwick::ImageFile;
using tarnwick::OkTerminator;
using tarnwick::SerialPort;
using tarnwick::fuzzing::ObservedPort;
using tarnwick::testing::FakeUsbDevice;
using tarnwick::testing::FakeUsbDeviceList;
using tarnwick::testing::RecordingSleeper;
namespace cmd = tarnwick::at_command;

constexpr std::size_t kSceneBytes = 6;
constexpr int kMostArguments = 8;

// The scene, one byte each.
struct Scene {
  unsigned char devices;     // bits 0-1: default modems; bit 2: a device for -v/-p
  unsigned char portNumber;  // the COM number in their PortName
  unsigned char listFaults;  // bits 0-1: first scan they are present; bit 7: list fails
  unsigned char modem;       // bits 0-1: OK, ERROR at command k, silent from k, no echo
  unsigned char packetSize;  // index into kPacketSizes
  unsigned char image;       // 0xFF: no file; otherwise its size / 7
};

const char* const kPacketSizes[] = {"512", "1", "7", "100", "600", "0", "-1", "abc"};

std::string upperCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// Image files kept in memory: fuzz-made names never reach the file system.
struct ImageStore {
  bool exists = true;
  std::size_t size = 0;
  std::string opened;  // the content of the file opened last
  int opens = 0;
  int closes = 0;

  std::string contentFor(const std::string& path) const {
    std::uint32_t state = 2166136261u;
    for (char c : path) state = (state ^ static_cast<unsigned char>(c)) * 16777619u;
    std::string content(size, '\0');
    for (char& c : content) {
      state = state * 1664525u + 1013904223u;
      c = static_cast<char>(state >> 24);
    }
    return content;
  }
};

class MemoryImageFile : public ImageFile {
 public:
  explicit MemoryImageFile(ImageStore& store) : store_(store) {}
  bool open(const std::string& path) override {
    if (!store_.exists) {
      tarnwick::setLastErrorCode(ENOENT);
      return false;
    }
    content_ = store_.contentFor(path);
    store_.opened = content_;
    ++store_.opens;
    position_ = 0;
    return true;
  }
  std::uint64_t size() override { return content_.size(); }
  bool read(unsigned char* buffer, std::size_t capacity, std::size_t& got) override {
    got = std::min(capacity, content_.size() - position_);
    std::memcpy(buffer, content_.data() + position_, got);
    position_ += got;
    return true;
  }
  void close() override { ++store_.closes; }

 private:
  ImageStore& store_;
  std::string content_;
  std::size_t position_ = 0;
};

// The modem's side: echo and OK unless the scene says otherwise; packets
// are checked against the image as they arrive.
class Modem {
 public:
  Modem(const Scene& scene, const ImageStore& images) : scene_(scene), images_(images) {}

  std::string answer(const std::string& line) {
    const std::size_t index = lines.size();
    lines.push_back(line);
    const int mode = scene_.modem & 3;
    const std::size_t k = scene_.modem >> 2;
    answeredOk.push_back(false);
    if (mode == 1 && index == k) return line + "\r" + tarnwick::ErrorTerminator;
    if (mode == 2 && index >= k) return std::string();
    if (downloadForm && line.rfind(cmd::kImagePacketStart, 0) == 0) takePacket(line);
    if (line == cmd::kBeginDownload) received.clear();
    if (line == cmd::kEndDownload) ended = true;
    std::string reply = mode == 3 ? std::string() : line + "\r";
    if (line == cmd::kQueryPacketSize) {
      reply += std::string("\r\n") + kPacketSizes[scene_.packetSize % 8] + "\r\n";
    } else if (line == cmd::kFirmwareVersion) {
      reply += "\r\nFUZZ_REV_1\r\n";
    }
    answeredOk.back() = true;
    return reply + OkTerminator;
  }

  // Off in the AT form, where what goes out is the operator's own text.
  bool downloadForm = true;
  std::vector<std::string> lines;
  std::vector<bool> answeredOk;
  std::string received;
  bool ended = false;

 private:
  void takePacket(const std::string& line) {
    const std::size_t start = sizeof cmd::kImagePacketStart - 1;
    FUZZ_CHECK(line.size() > start && line.back() == '"', "packet line not closed");
    const std::string hex = line.substr(start, line.size() - start - 1);
    FUZZ_CHECK(hex.size() % 2 == 0 && hex.size() <= 1024, "packet of %zu hex digits", hex.size());
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
      bytes.push_back(static_cast<char>(16 * nibble(hex[i]) + nibble(hex[i + 1])));
    }
    received += bytes;
    const std::string& image = images_.opened;
    FUZZ_CHECK(received.size() <= image.size() && image.compare(0, received.size(), received) == 0,
               "the modem received %zu bytes that are not the image's first bytes",
               received.size());
  }

  static int nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    FUZZ_CHECK(c >= 'A' && c <= 'F', "packet holds '%c', not an upper-case hex digit", c);
    return c - 'A' + 10;
  }

  const Scene& scene_;
  const ImageStore& images_;
};

FakeUsbDevice deviceWithId(const std::string& hardwareId, const Scene& scene) {
  FakeUsbDevice device;
  device.hardwareIds = hardwareId + '\0' + '\0';
  device.hasPortName = true;
  device.portName = "COM" + std::to_string(scene.portNumber) + '\0';
  device.presentFromScan = scene.listFaults & 3;
  return device;
}

std::string defaultHardwareId(unsigned entry) {
  const tarnwick::DeviceIdentity id = tarnwick::defaultIdentity(entry);
  return "USB\\VID_" + upperCase(id.vendorId) + "&PID_" + upperCase(id.productId) + "&MI_02";
}

// The ids a "-v"/"-p" pair on the command line names, as a device would
// carry them (the lookup lowers the device's ids, not the given ones).
std::string customHardwareId(const std::vector<std::string>& args) {
  std::string vid;
  std::string pid;
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if ((args[i] == "-v" || args[i] == "-V") && args[i + 1].rfind("0x", 0) == 0) {
      vid = args[i + 1].substr(2, 4);
    }
    if ((args[i] == "-p" || args[i] == "-P") && args[i + 1].rfind("0x", 0) == 0) {
      pid = args[i + 1].substr(2, 4);
    }
  }
  return "USB\\VID_" + vid + "&PID_" + pid;
}

bool isAtWord(const std::string& text) {
  return text == "AT" || text == "at";
}

std::FILE* toolErrors = nullptr;

// With TARNWICK_FUZZ_TRACE set (when replaying inputs), each run is summed
// up on standard error: arguments, exit code, what the modem saw.
bool tracing = false;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tarnwick::fuzzing::discardStandardOutput();
  // The tool writes one complaint to stderr; the C library lets `stderr` be
  // pointed elsewhere, which leaves libFuzzer's own stream (taken at start)
  // and the sanitizers' reports (file descriptor 2) as they are.
  tarnwick::fuzzing::reportStream() = stderr;
  tracing = std::getenv("TARNWICK_FUZZ_TRACE") != nullptr;
  toolErrors = std::fopen("/dev/null", "w");
  if (toolErrors == nullptr) std::abort();
  stderr = toolErrors;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  unsigned char sceneBytes[kSceneBytes] = {};
  std::memcpy(sceneBytes, data, std::min(size, kSceneBytes));
  const Scene scene{sceneBytes[0], sceneBytes[1], sceneBytes[2],
                    sceneBytes[3], sceneBytes[4], sceneBytes[5]};

  std::vector<std::string> args;
  if (size > kSceneBytes) {
    const std::string rest(reinterpret_cast<const char*>(data) + kSceneBytes, size - kSceneBytes);
    std::size_t start = 0;
    while (static_cast<int>(args.size()) < kMostArguments) {
      const std::size_t end = rest.find('\0', start);
      args.push_back(rest.substr(start, end == std::string::npos ? end : end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }

  // argv as a C program gets it: the program name, the arguments, a null.
  std::vector<std::unique_ptr<char[]>> storage;
  std::vector<char*> argv;
  auto addArgument = [&](const std::string& text) {
    storage.emplace_back(new char[text.size() + 1]);
    std::memcpy(storage.back().get(), text.c_str(), text.size() + 1);
    argv.push_back(storage.back().get());
  };
  addArgument("tarnwick");
  for (const std::string& a : args) addArgument(a);
  argv.push_back(nullptr);
  const int argc = static_cast<int>(argv.size()) - 1;

  FakeUsbDeviceList devices;
  devices.openFails = (scene.listFaults & 0x80) != 0;
  if (scene.devices & 2) devices.devices.push_back(deviceWithId(defaultHardwareId(1), scene));
  if (scene.devices & 1) devices.devices.push_back(deviceWithId(defaultHardwareId(0), scene));
  if (scene.devices & 4) devices.devices.push_back(deviceWithId(customHardwareId(args), scene));

  ImageStore images;
  images.exists = scene.image != 0xFF;
  images.size = scene.image == 0xFF ? 0 : scene.image * 7u;
  Modem modem(scene, images);
  const bool atForm = argc == 3 && isAtWord(args[0]);
  modem.downloadForm = !atForm;
  auto* port = new ObservedPort;
  port->setResponder([&modem](const std::string& line) { return modem.answer(line); });
  AtInterface link(std::unique_ptr<SerialPort>(port),
                   [&images] { return std::make_unique<MemoryImageFile>(images); });
  RecordingSleeper sleeper;
  tarnwick::ToolContext context{link, devices, sleeper};

  tarnwick::debugMode = false;
  const int code = tarnwick::runTool(argc, argv.data(), context);
  tarnwick::debugMode = false;
  if (tracing) {
    std::fprintf(tarnwick::fuzzing::reportStream(), "tarnwick");
    for (const std::string& a : args) {
      std::fprintf(tarnwick::fuzzing::reportStream(), " [%.40s]", a.c_str());
    }
    std::fprintf(tarnwick::fuzzing::reportStream(),
                 " -> exit %d; %zu lines to the modem, %zu bytes received%s\n", code,
                 modem.lines.size(), modem.received.size(), modem.ended ? ", ended" : "");
  }

  FUZZ_CHECK(code == 0 || code == 1 || code == -1, "exit code %d", code);
  FUZZ_CHECK((code == -1) == (argc == 1), "exit code %d with %d arguments", code, argc - 1);
  FUZZ_CHECK(sleeper.pauses.size() <= 10 && devices.scans() <= 10,
             "%zu pauses and %u scans in one run", sleeper.pauses.size(), devices.scans());
  FUZZ_CHECK(images.opens == images.closes, "image opened %d times, closed %d times", images.opens,
             images.closes);

  if (code == 0) {
    const bool helpForm = argc == 3 && !atForm && args[0] != "-f" && args[0] != "-F" &&
                          (args[0] == "-debug" || args[1] == "-debug");
    if (atForm) {
      // The command went out whole and last.
      FUZZ_CHECK(port->written.size() >= args[1].size() + 1 &&
                     port->written.compare(port->written.size() - args[1].size() - 1,
                                           std::string::npos, args[1] + "\r") == 0,
                 "AT form done without its command written last");
      // A command of one line must have been answered OK. (One with carriage
      // returns in it reaches the modem as several lines, and the first OK
      // on the link ends the transaction, whatever the later lines get.)
      if (args[1].find('\r') == std::string::npos) {
        FUZZ_CHECK(
            !modem.answeredOk.empty() && modem.answeredOk.back() && modem.lines.back() == args[1],
            "AT form done without an OK for the command");
      }
    } else if (!helpForm) {
      FUZZ_CHECK(modem.ended && !modem.answeredOk.empty() && modem.answeredOk.back(),
                 "download form done without the download ended");
      FUZZ_CHECK(modem.received == images.opened, "download done with %zu of %zu bytes",
                 modem.received.size(), images.opened.size());
      FUZZ_CHECK(modem.lines.back() == cmd::kEndDownload, "done, last command \"%.40s\"",
                 modem.lines.back().c_str());
    }
  }

  link.shutdown();
  FUZZ_CHECK(!port->isOpen, "the port is still open after shutdown");
  return 0;
}
