// The station's `list`: the probe on scripted ports, the JSON lines and the
// table, the --id form, and runList on a fake inventory.
#include "station/commands/list_command.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "station/commands/identity_option.h"
#include "station/run/modem_probe.h"
#include "station/views/inventory_json.h"
#include "station/views/inventory_table.h"
#include "support/fake_serial_port.h"

namespace tarnwick {
namespace {

using testing::FakeSerialPort;

constexpr int kAbsentCom = 70;  // opening fails with "file not found"
constexpr int kSilentCom = 71;
constexpr int kErrorCom = 72;  // answers "AT" with ERROR

// A modem behind every COM number but the three above: echo, then OK, and
// for AT+CGMR a version line padded with blanks and line ends.
class ScriptedPort : public FakeSerialPort {
 public:
  explicit ScriptedPort(std::atomic<int>& opens) : opens_(opens) {}

  bool open(int comNumber) override {
    ++opens_;
    if (comNumber == kAbsentCom) failOpen(2);
    if (comNumber != kSilentCom) {
      setResponder([comNumber](const std::string& line) {
        if (comNumber == kErrorCom) return line + "\r\r\nERROR\r\n";
        if (line == "AT+CGMR") return line + "\r\r\n \tEG25GGBR07A08M2G\t \r\n\r\nOK\r\n";
        return line + "\r\r\nOK\r\n";
      });
    }
    return FakeSerialPort::open(comNumber);
  }

 private:
  std::atomic<int>& opens_;
};

InventoryPort port(std::optional<int> com, std::optional<int> interface, std::string tty = "") {
  return InventoryPort{com, std::move(tty), interface};
}

InventoryModem modem(std::string location, std::optional<std::string> serial,
                     std::vector<InventoryPort> ports) {
  return InventoryModem{std::move(location), std::move(serial), "2c7c", "0125", "0318",
                        std::move(ports)};
}

class StationList : public ::testing::Test {
 protected:
  SerialPortFactory makePort = [this] { return std::make_unique<ScriptedPort>(opens); };
  std::atomic<int> opens{0};
};

TEST_F(StationList, ProbeTakesTheFirstAnsweringPortInOrderAndSaysWhyOthersDidNot) {
  const InventoryModem composite =
      modem("1-4", "SN1",
            {port(std::nullopt, 0), port(kAbsentCom, 1), port(kSilentCom, 2), port(kErrorCom, 3),
             port(5, 4), port(6, 5)});
  const ModemProbe probe = probeModem(composite, makePort);
  ASSERT_EQ(probe.atPort, std::optional<std::size_t>(4));
  EXPECT_EQ(probe.version, "EG25GGBR07A08M2G");
  ASSERT_EQ(probe.portErrors.size(), 6u);
  EXPECT_EQ(probe.portErrors[0], "no COM port");
  ASSERT_TRUE(probe.portErrors[1]);
  EXPECT_EQ(probe.portErrors[1]->rfind("port open failed with error 2", 0), 0u)
      << *probe.portErrors[1];
  EXPECT_EQ(probe.portErrors[2], "no answer within the budget");
  EXPECT_EQ(probe.portErrors[3], "ERROR answer");
  EXPECT_EQ(probe.portErrors[4], std::nullopt);
  EXPECT_EQ(probe.portErrors[5], std::nullopt);
  EXPECT_EQ(opens.load(), 4);  // COM6 is never opened

  const ModemProbe none = probeModem(modem("1-5", std::nullopt, {port(kSilentCom, 0)}), makePort);
  EXPECT_EQ(none.atPort, std::nullopt);
  EXPECT_EQ(none.version, std::nullopt);
}

TEST_F(StationList, ParallelProbeReportsEveryModemOnce) {
  std::vector<InventoryModem> modems;
  for (int i = 0; i < 8; ++i)
    modems.push_back(modem("1-" + std::to_string(i), "S", {port(10 + i, 0)}));
  std::mutex lock;
  std::multiset<std::size_t> reported;
  probeModemsInParallel(modems, makePort, [&](std::size_t index, const ModemProbe& probe) {
    std::lock_guard<std::mutex> hold(lock);
    reported.insert(index);
    EXPECT_EQ(probe.atPort, std::optional<std::size_t>(0));
  });
  EXPECT_EQ(reported, (std::multiset<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(StationList, JsonLinesParseAndCarryEveryField) {
  const InventoryModem linux = modem(
      "1-4.2", "SN\xff", {port(71, 0, "/dev/ttyUSB70"), port(std::nullopt, 2, "/dev/ttyUSB120")});
  InventoryModem windows = modem("Port_#0001.Hub_#0001", std::nullopt, {port(9, std::nullopt)});
  windows.revision.reset();
  ModemProbe probe;
  probe.portErrors = {std::nullopt, std::string("no COM port")};
  probe.atPort = 0;
  probe.version = "V\"1\"";

  const std::string line = modemJsonLine(linux, &probe);
  ASSERT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  const nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
  ASSERT_FALSE(parsed.is_discarded()) << line;
  EXPECT_EQ(parsed["location"], "1-4.2");
  EXPECT_EQ(parsed["serial"], "SN\xef\xbf\xbd");  // the stray byte replaced
  EXPECT_EQ(parsed["ports"][0],
            nlohmann::json::parse(
                R"({"port":"COM71","tty":"/dev/ttyUSB70","interface":0,"probe_error":null})"));
  EXPECT_EQ(parsed["ports"][1]["port"], nullptr);
  EXPECT_EQ(parsed["ports"][1]["probe_error"], "no COM port");
  EXPECT_EQ(parsed["at_port"], "COM71");
  EXPECT_EQ(parsed["version"], "V\"1\"");

  EXPECT_EQ(modemJsonLine(windows, nullptr),
            R"({"location":"Port_#0001.Hub_#0001","serial":null,"vid":"2c7c","pid":"0125",)"
            R"("revision":null,"ports":[{"port":"COM9","interface":null}]})"
            "\n");
}

TEST_F(StationList, TableAlignsColumnsAndShowsTheProbe) {
  const std::vector<InventoryModem> modems = {
      modem("1-4.2", "SN0001", {port(71, 0, "/dev/ttyUSB70"), port(72, 2, "/dev/ttyUSB71")}),
      modem("1-10", std::nullopt, {port(std::nullopt, 0)})};
  EXPECT_EQ(inventoryTable(modems, nullptr),
            "LOCATION  SERIAL  VID:PID    REV   PORTS\n"
            "1-4.2     SN0001  2c7c:0125  0318  COM71 (ttyUSB70, MI_00), COM72 (ttyUSB71, MI_02)\n"
            "1-10      -       2c7c:0125  0318  - (MI_00)\n");
  ModemProbe probe;
  probe.atPort = 1;
  probe.version = "R1";
  const std::vector<ModemProbe> probes = {probe, ModemProbe()};
  EXPECT_EQ(inventoryTable(modems, &probes),
            "LOCATION  SERIAL  VID:PID    REV   AT-PORT  VERSION  PORTS\n"
            "1-4.2     SN0001  2c7c:0125  0318  COM72    R1       COM71 (ttyUSB70, MI_00), COM72 "
            "(ttyUSB71, MI_02)\n"
            "1-10      -       2c7c:0125  0318  -        -        - (MI_00)\n");
}

TEST_F(StationList, IdentityOptionTakesFourHexDigitsEachInEitherCase) {
  const struct {
    const char* text;
    bool good;
    const char* vendor;
    const char* product;
  } cases[] = {{"2c7c:0125", true, "2c7c", "0125"},
               {"2C7C:01aF", true, "2c7c", "01af"},
               {"2c7c:125", false, "", ""},
               {"2c7c0125", false, "", ""},
               {"2c7c:01250", false, "", ""},
               {"2c7g:0125", false, "", ""},
               {":", false, "", ""},
               {"2c7c:0125:1", false, "", ""}};
  for (const auto& c : cases) {
    DeviceIdentity identity{"keep", "keep"};
    EXPECT_EQ(parseIdentityOption(c.text, identity), c.good) << c.text;
    EXPECT_EQ(checkIdentityOption(c.text).empty(), c.good) << c.text;
    EXPECT_EQ(identity.vendorId, c.good ? c.vendor : "keep") << c.text;
    EXPECT_EQ(identity.productId, c.good ? c.product : "keep") << c.text;
  }
}

// One single-port modem of the built-in identity.
class OneModemSource final : public UsbInventorySource {
 public:
  bool listDevices(std::vector<UsbDeviceRecord>& records) override {
    records = {{"1-1", "", "", std::string("USB\\VID_2C7C&PID_0125&REV_0318\0\0", 32), "COM3", "",
                "1-1", std::nullopt}};
    return true;
  }
};

TEST_F(StationList, AStandardOutputThatTakesNoByteFailsTheList) {
  for (const bool json : {false, true}) {
    OneModemSource source;
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    ListOptions options;
    options.json = json;
    StationContext context{source, makePort, full, stderr};
    EXPECT_EQ(runList(options, context), kExitFailed) << json;
    std::fclose(full);
  }
}

}  // namespace
}  // namespace tarnwick
