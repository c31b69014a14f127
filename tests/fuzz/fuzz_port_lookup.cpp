// The one-pass port lookup over device lists made from the input: hardware-id
// lists of any bytes and any length (beyond the 1024-byte buffer too), with or
// without terminators, sizes reported wrong, unreadable lists, PortName
// values of any bytes without a terminator, devices that appear on a later
// scan. Every byte a fake hands out is copied into the caller's buffer, so
// AddressSanitizer sees any read or write past it.
//
// The answer is compared with the lookup worked out directly from the
// device list, and lowerCaseText and parseComPortName are checked against
// plain readings of their own.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "discovery/find_com_port.h"
#include "discovery/port_name_parse.h"
#include "fuzz_check.h"
#include "support/fake_usb_device_list.h"
#include "text/lower_case_text.h"

namespace {

using tarnwick::DeviceIdentity;
using tarnwick::kHardwareIdCapacity;
using tarnwick::kPortNameCapacity;
using tarnwick::testing::FakeUsbDevice;
using tarnwick::testing::FakeUsbDeviceList;

constexpr int kUntouched = -4242;

// With TARNWICK_FUZZ_TRACE set (when replaying inputs), the devices and the
// outcome of every scan are listed on standard error.
bool tracing = false;

// Bytes in a buffer of exactly their size, so that a read past them is an
// AddressSanitizer report.
std::unique_ptr<char[]> exactCopy(const std::string& bytes) {
  std::unique_ptr<char[]> copy(new char[bytes.size() == 0 ? 1 : bytes.size()]);
  std::memcpy(copy.get(), bytes.data(), bytes.size());
  return copy;
}

std::string lowered(const std::string& bytes) {
  std::string text = bytes;
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return text;
}

// "COM%d" read the plain way: the text up to its first NUL must start with
// "COM"; strtol then reads the number (it skips white space itself), clamped
// to int.
bool referenceComNumber(const std::string& bytes, int& comNumber) {
  const std::string text = bytes.substr(0, bytes.find('\0'));
  if (text.compare(0, 3, "COM") != 0) return false;
  std::size_t at = 3;
  while (at < text.size() && std::strchr(" \t\n\v\f\r", text[at]) != nullptr) ++at;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
  errno = 0;
  long value = std::strtol(text.c_str() + 3, nullptr, 10);
  comNumber = static_cast<int>(std::max<long>(INT_MIN, std::min<long>(INT_MAX, value)));
  return true;
}

const char* const kIdSamples[] = {
    "USB\\VID_2C7C&PID_0125&REV_0318&MI_03",
    "USB\\VID_12D1&PID_1506&REV_0102&MI_00",
    "usb\\vid_2c7c&pid_0125",
    "USB\\VID_2C7C&PID_0126&MI_00",
    "USB\\Class_02&SubClass_02",
    "vid_&pid_",
};

const char* const kPortSamples[] = {"COM7", "COM",   "COM 12",         "COM-3",   "COM+4",
                                    "com5", " COM6", "COM99999999999", "COM\t8x", "LPT1"};

std::string idText(FuzzedDataProvider& input) {
  switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return input.PickValueInArray(kIdSamples);
    case 1:
      return input.PickValueInArray(kIdSamples) + input.ConsumeRandomLengthString(30);
    default:
      return input.ConsumeRandomLengthString(80);
  }
}

FakeUsbDevice makeDevice(FuzzedDataProvider& input) {
  FakeUsbDevice device;
  switch (input.ConsumeIntegralInRange<int>(0, 4)) {
    case 0: {
      // A list as Windows stores it: NUL-terminated ids and an empty one.
      const int count = input.ConsumeIntegralInRange<int>(0, 3);
      for (int i = 0; i < count; ++i) device.hardwareIds += idText(input) + '\0';
      device.hardwareIds += '\0';
      break;
    }
    case 1:
      // No terminator at all.
      device.hardwareIds = idText(input);
      break;
    case 2: {
      // Around the 1024-byte buffer: padded to a length near it.
      device.hardwareIds = idText(input);
      const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(kHardwareIdCapacity - 3,
                                                                           kHardwareIdCapacity + 3);
      device.hardwareIds.resize(length, input.ConsumeBool() ? '\0' : 'x');
      break;
    }
    case 3:
      device.hardwareIds = std::string(input.ConsumeIntegralInRange<std::size_t>(0, 5000),
                                       input.ConsumeIntegral<char>());
      break;
    default:
      device.hardwareIds = input.ConsumeRandomLengthString(1200);
      break;
  }
  if (input.ConsumeIntegralInRange<int>(0, 5) == 0) {
    device.overrideSize = true;
    device.reportedSize = input.ConsumeBool()
                              ? input.ConsumeIntegral<std::uint32_t>()
                              : input.ConsumeIntegralInRange<std::uint32_t>(1020, 1028);
  }
  device.idReadFails = input.ConsumeIntegralInRange<int>(0, 9) == 0;
  device.hasPortName = input.ConsumeIntegralInRange<int>(0, 7) != 0;
  switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      device.portName = std::string(input.PickValueInArray(kPortSamples)) + '\0';
      break;
    case 1:
      device.portName = input.PickValueInArray(kPortSamples);
      break;
    case 2:
      device.portName =
          std::string("COM") + std::string(input.ConsumeIntegralInRange<std::size_t>(
                                               kPortNameCapacity - 5, kPortNameCapacity + 2),
                                           '7');
      break;
    default:
      device.portName = input.ConsumeRandomLengthString(40);
      break;
  }
  device.presentFromScan = input.ConsumeIntegralInRange<unsigned>(0, 2);
  return device;
}

// The lookup worked out from the list: the first present device whose list
// fits, reads, and holds the pattern in its first id (lowered); its PortName
// then decides, if it has a readable one.
bool expectedLookup(const std::vector<FakeUsbDevice>& devices, unsigned scan,
                    const std::string& pattern, int& comNumber) {
  for (const FakeUsbDevice& device : devices) {
    if (device.presentFromScan > scan) continue;
    const std::uint32_t size = device.overrideSize
                                   ? device.reportedSize
                                   : static_cast<std::uint32_t>(device.hardwareIds.size());
    if (size >= kHardwareIdCapacity) continue;
    if (device.idReadFails || device.hardwareIds.size() > kHardwareIdCapacity) continue;
    const std::string ids = lowered(device.hardwareIds);
    if (ids.substr(0, ids.find('\0')).find(pattern) == std::string::npos) continue;
    if (!device.hasPortName || device.portName.size() > kPortNameCapacity) continue;
    return referenceComNumber(device.portName, comNumber);
  }
  return false;
}

void checkLowerCase(const std::string& bytes) {
  std::unique_ptr<char[]> copy = exactCopy(bytes);
  const std::string text = tarnwick::lowerCaseText(copy.get(), static_cast<unsigned>(bytes.size()));
  FUZZ_CHECK(text == lowered(bytes), "lowerCaseText of %zu bytes differs", bytes.size());
}

void checkPortName(const std::string& bytes) {
  std::unique_ptr<char[]> copy = exactCopy(bytes);
  int comNumber = kUntouched;
  const bool ok =
      tarnwick::parseComPortName(copy.get(), static_cast<std::uint32_t>(bytes.size()), comNumber);
  int expected = kUntouched;
  const bool expectedOk = referenceComNumber(bytes, expected);
  FUZZ_CHECK(ok == expectedOk, "parseComPortName gave %d, the plain reading %d", ok, expectedOk);
  FUZZ_CHECK(comNumber == expected, "COM number %d, the plain reading %d", comNumber, expected);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tracing = std::getenv("TARNWICK_FUZZ_TRACE") != nullptr;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);

  switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      checkLowerCase(input.ConsumeRemainingBytesAsString());
      return 0;
    case 1:
      checkPortName(input.ConsumeRemainingBytesAsString());
      return 0;
    default:
      break;
  }

  FakeUsbDeviceList list;
  list.openFails = input.ConsumeIntegralInRange<int>(0, 15) == 0;
  DeviceIdentity identity;
  if (input.ConsumeBool()) {
    identity = DeviceIdentity{input.ConsumeBool() ? "2c7c" : "12d1",
                              input.ConsumeBool() ? "0125" : "1506"};
  } else {
    identity.vendorId = input.ConsumeRandomLengthString(6);
    identity.productId = input.ConsumeRandomLengthString(6);
  }
  const int deviceCount = input.ConsumeIntegralInRange<int>(0, 6);
  for (int i = 0; i < deviceCount; ++i) list.devices.push_back(makeDevice(input));
  const std::string pattern = "vid_" + identity.vendorId + "&pid_" + identity.productId;
  if (tracing) {
    for (const FakeUsbDevice& d : list.devices) {
      std::fprintf(stderr, "device: ids of %zu bytes%s%s, PortName %s of %zu bytes, from scan %u\n",
                   d.hardwareIds.size(), d.overrideSize ? " (size reported wrong)" : "",
                   d.idReadFails ? " (unreadable)" : "", d.hasPortName ? "present" : "absent",
                   d.portName.size(), d.presentFromScan);
    }
  }

  // Up to three scans of the same list, as the search policies make them.
  const unsigned scans = input.ConsumeIntegralInRange<unsigned>(1, 3);
  for (unsigned scan = 0; scan < scans; ++scan) {
    const std::size_t callsBefore = list.calls.size();
    int comNumber = kUntouched;
    const bool found = tarnwick::findComPort(list, identity, comNumber);
    if (tracing) std::fprintf(stderr, "scan %u: %d, COM%d\n", scan, found, comNumber);
    int expected = kUntouched;
    const bool expectedFound =
        !list.openFails && expectedLookup(list.devices, scan, pattern, expected);
    FUZZ_CHECK(found == expectedFound, "scan %u: findComPort gave %d, the list calls for %d", scan,
               found, expectedFound);
    FUZZ_CHECK(comNumber == expected, "scan %u: COM number %d, the list calls for %d", scan,
               comNumber, expected);
    // The snapshot is released whenever it was taken, whatever the outcome.
    const std::vector<std::string> calls(list.calls.begin() + callsBefore, list.calls.end());
    FUZZ_CHECK(!calls.empty() && calls.front() == "open", "scan %u did not start with open", scan);
    const long closes = std::count(calls.begin(), calls.end(), std::string("close"));
    if (list.openFails) {
      FUZZ_CHECK(calls.size() == 1, "scan %u went on after a failed open", scan);
    } else {
      FUZZ_CHECK(closes == 1 && calls.back() == "close", "scan %u: %ld closes, last call \"%s\"",
                 scan, closes, calls.back().c_str());
    }
  }
  return 0;
}
