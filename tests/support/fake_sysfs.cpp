#include "support/fake_sysfs.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tarnwick::testing {
namespace {

namespace fs = std::filesystem;

const char kUsbHostDir[] = "devices/pci0000:00/0000:00:14.0/usb3";

void makeDir(const fs::path& dir) {
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) ADD_FAILURE() << "cannot create " << dir << ": " << error.message();
}

void writeFile(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) ADD_FAILURE() << "cannot write " << file;
}

// A symbolic link at `at` pointing at `target` by a relative path, as sysfs
// links are.
void makeLink(const fs::path& at, const fs::path& target) {
  std::error_code error;
  const fs::path relativeTarget = fs::relative(target, at.parent_path(), error);
  if (!error) fs::create_symlink(relativeTarget, at, error);
  if (error) ADD_FAILURE() << "cannot link " << at << " -> " << target << ": " << error.message();
}

bool pathExists(const fs::path& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

}  // namespace

FakeSysfs::FakeSysfs() {
  char pattern[] = "/tmp/tarnwick-sysfs-XXXXXX";
  if (mkdtemp(pattern) == nullptr) ADD_FAILURE() << "cannot create a temporary directory";
  root_ = pattern;
  sysRoot_ = root_ + "/sys";
  devRoot_ = root_ + "/dev";
  for (const char* dir : {"bus/usb", "bus/usb-serial", "bus/platform", "class/tty"}) {
    makeDir(fs::path(sysRoot_) / dir);
  }
  makeDir(devRoot_);
}

FakeSysfs::~FakeSysfs() {
  std::error_code error;
  fs::remove_all(root_, error);
}

std::string FakeSysfs::usbDeviceDir(const FakeUsbModem& modem) {
  const fs::path dir = fs::path(sysRoot_) / kUsbHostDir / modem.busPort;
  if (!pathExists(dir)) {
    makeDir(dir);
    makeLink(dir / "subsystem", fs::path(sysRoot_) / "bus/usb");
    writeFile(dir / "idVendor", modem.vendorId + "\n");
    writeFile(dir / "idProduct", modem.productId + "\n");
    writeFile(dir / "bcdDevice", modem.revision + "\n");
    if (modem.serial) writeFile(dir / "serial", *modem.serial + "\n");
  }
  return dir.string();
}

std::string FakeSysfs::interfaceDir(const FakeUsbModem& modem, const std::string& interfaceNumber) {
  const long number = std::strtol(interfaceNumber.c_str(), nullptr, 16);
  const fs::path dir =
      fs::path(usbDeviceDir(modem)) / (modem.busPort + ":1." + std::to_string(number));
  if (!pathExists(dir)) {
    makeDir(dir);
    makeLink(dir / "subsystem", fs::path(sysRoot_) / "bus/usb");
    writeFile(dir / "bInterfaceNumber", interfaceNumber + "\n");
  }
  return dir.string();
}

void FakeSysfs::addTtyClassDevice(const std::string& parentDir, const std::string& tty) {
  const fs::path dir = fs::path(parentDir) / "tty" / tty;
  makeDir(dir);
  makeLink(dir / "device", parentDir);
  makeLink(dir / "subsystem", fs::path(sysRoot_) / "class/tty");
  writeFile(dir / "dev", "166:0\n");
  makeLink(fs::path(sysRoot_) / "class/tty" / tty, dir);
}

void FakeSysfs::addAcmPort(const FakeUsbModem& modem, const std::string& interfaceNumber,
                           const std::string& tty) {
  addTtyClassDevice(interfaceDir(modem, interfaceNumber), tty);
}

void FakeSysfs::addUsbSerialPort(const FakeUsbModem& modem, const std::string& interfaceNumber,
                                 const std::string& tty) {
  const fs::path port = fs::path(interfaceDir(modem, interfaceNumber)) / tty;
  makeDir(port);
  makeLink(port / "subsystem", fs::path(sysRoot_) / "bus/usb-serial");
  addTtyClassDevice(port.string(), tty);
}

void FakeSysfs::addPlatformTty(const std::string& tty) {
  const fs::path uart = fs::path(sysRoot_) / "devices/platform/serial8250";
  makeDir(uart);
  if (!pathExists(uart / "subsystem")) {
    makeLink(uart / "subsystem", fs::path(sysRoot_) / "bus/platform");
  }
  addTtyClassDevice(uart.string(), tty);
}

void FakeSysfs::addDeviceNode(const std::string& tty, const std::string& target) {
  std::error_code error;
  fs::create_symlink(target, fs::path(devRoot_) / tty, error);
  if (error) ADD_FAILURE() << "cannot link " << tty << " -> " << target << ": " << error.message();
}

void FakeSysfs::removeModem(const FakeUsbModem& modem, const std::vector<std::string>& ttys) {
  std::error_code error;
  for (const std::string& tty : ttys) {
    fs::remove(fs::path(sysRoot_) / "class/tty" / tty, error);
    fs::remove(fs::path(devRoot_) / tty, error);
  }
  fs::remove_all(fs::path(sysRoot_) / kUsbHostDir / modem.busPort, error);
  if (error) ADD_FAILURE() << "cannot unplug " << modem.busPort << ": " << error.message();
}

void FakeSysfs::writeModemAttribute(const FakeUsbModem& modem, const std::string& name,
                                    const std::string& text) {
  writeFile(fs::path(usbDeviceDir(modem)) / name, text);
}

}  // namespace tarnwick::testing
