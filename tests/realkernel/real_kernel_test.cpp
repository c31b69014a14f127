// The shipped Linux program on the kernel's own USB stack: each test judges
// what one case script left behind in the guest (realkernel/cases), after
// the guest fixture has run them all: the program's exact output and exit
// status, and the bytes the simulated modem received.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/expected_text.h"

namespace tarnwick::testing {
namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct ProgramRun {
  std::string out;
  std::string err;
  int status = -1;
  long ms = -1;
};

// One case's folder of results, as the guest left it.
class CaseResults {
 public:
  explicit CaseResults(const std::string& name)
      : dir_(std::string(TARNWICK_REALKERNEL_RESULTS) + "/" + name + "/") {}

  std::string file(const std::string& name) const { return readFile(dir_ + name); }
  bool has(const std::string& name) const { return std::ifstream(dir_ + name).good(); }

  ProgramRun run(const std::string& name) const {
    ProgramRun run;
    run.out = file(name + ".out");
    run.err = file(name + ".err");
    std::istringstream(file(name + ".status")) >> run.status;
    std::istringstream(file(name + ".ms")) >> run.ms;
    return run;
  }

  // The rig itself worked: the case script ran to its end.
  void expectCompleted() const { EXPECT_EQ(file("case.status"), "0\n") << file("case.log"); }

 private:
  std::string dir_;
};

void expectRun(const ProgramRun& run, int status, const std::string& out,
               const std::string& err = "") {
  EXPECT_EQ(run.status, status);
  EXPECT_EQ(run.out, out);
  EXPECT_EQ(run.err, err);
}

std::string upperHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

// Every command line a modem should receive for a download of `image`.
std::vector<std::string> downloadCommands(const std::string& image) {
  std::vector<std::string> commands = {"AT", "AT%DNLPK?", "AT%DNL=1"};
  for (std::size_t at = 0; at < image.size(); at += 512) {
    commands.push_back("AT%DNLIMG=\"" + upperHex(image.substr(at, 512)) + "\"");
  }
  commands.push_back("AT%DNL=0");
  return commands;
}

std::string downloadOutput(std::size_t packets, const std::string& ending) {
  return kBanner + startMessage("fw.bin") + spinnerFor(packets) + ending;
}

TEST(RealKernel, DefaultModemTakesABareFileDownloadAndAnAtCommand) {
  CaseResults results("acm_default");
  results.expectCompleted();
  EXPECT_EQ(results.file("ttys"), "ttyACM0\n");
  const std::string image = results.file("fw.bin");
  ASSERT_EQ(image.size(), 65536u);
  expectRun(results.run("download"), 0, downloadOutput(128, kFinished));
  expectRun(results.run("at"), 0, kBanner + "AT+CGMR\r\r\nEC25_REAL_KERNEL\r\n\r\nOK\r\n\n\n");
  EXPECT_TRUE(results.file("modem.image") == image);
  std::vector<std::string> expected = downloadCommands(image);
  expected.insert(expected.end(), {"AT", "AT+CGMR"});
  EXPECT_TRUE(linesOf(results.file("modem.log")) == expected);
}

TEST(RealKernel, CompositeModemOfAnotherIdentityIsFoundByItsIds) {
  CaseResults results("acm_composite");
  results.expectCompleted();
  // Only CDC control interfaces carry ttys.
  EXPECT_EQ(results.file("ttys"), "ttyACM0 00\nttyACM1 02\nttyACM2 04\n");
  const std::string image = results.file("fw.bin");
  ASSERT_EQ(image.size(), 5000u);
  expectRun(results.run("download"), 0, downloadOutput(10, kFinished));
  expectRun(results.run("default"), 1, kBanner + kFailedToFindUe + kDownloadFailed);
  EXPECT_TRUE(results.file("modem.image") == image);
  EXPECT_TRUE(linesOf(results.file("modem.log")) == downloadCommands(image));
}

// The tool opens ttyUSB0 (interface 0, not served): the handshake fails, and
// closing a usb-serial port whose output was never taken must not wait out
// the driver's 30 s closing time.
TEST(RealKernel, StockModuleLayoutOnTheOptionDriverFailsOnItsFirstPortSoon) {
  CaseResults results("ttyusb_option");
  results.expectCompleted();
  EXPECT_EQ(results.file("ttys"), "ttyUSB0 00\nttyUSB1 01\nttyUSB2 02\nttyUSB3 03\n");
  ProgramRun download = results.run("download");
  expectRun(download, 1, kBanner + "ERROR: initialise - AT interface failed\n" + kDownloadFailed);
  EXPECT_LT(download.ms, 10000);
  expectRun(results.run("com3"), 1, kBanner + kDownloadFailed,
            "Invalid COM Port COM3 specified - found device COM port COM1\n");
  EXPECT_EQ(results.file("modem.log"), "");
}

// How many times `text` is `block` over and over; -1 when it is anything else.
int repeatsOf(const std::string& text, const std::string& block) {
  if (text.size() % block.size() != 0) return -1;
  for (std::size_t at = 0; at < text.size(); at += block.size()) {
    if (text.compare(at, block.size(), block) != 0) return -1;
  }
  return static_cast<int>(text.size() / block.size());
}

// The tool fails the packet whose answer it was waiting for (every read of
// the gone port reports the error, at most the 50 reads a transaction may
// spend) or, if the modem went between two packets, the write of the next.
TEST(RealKernel, ModemPulledMidDownloadFailsSoonWithoutFinishing) {
  CaseResults results("acm_pulled");
  results.expectCompleted();
  const std::string image = results.file("fw.bin");
  const std::vector<std::string> received = linesOf(results.file("modem.log"));
  const std::vector<std::string> all = downloadCommands(image);
  ASSERT_GE(received.size(), 3u + 20u);
  ASSERT_LT(received.size(), all.size());
  EXPECT_TRUE(std::equal(received.begin(), received.end(), all.begin()));
  EXPECT_FALSE(results.has("modem.image"));

  const ProgramRun download = results.run("download");
  EXPECT_EQ(download.status, 1);
  EXPECT_EQ(download.err, "");
  EXPECT_LT(download.ms, 10000);
  const std::string readFailure =
      "ERROR: readChar failed with error code 5 as follows:\nInput/output error\n"
      "readchar: unable to read from UE for error 5.\n";
  // The failed packet is the last one the modem received (its answer was
  // lost) or the one after. The spinner moves after attempts 1, 11, 21, ...,
  // the failed one too, so after the read errors.
  const std::size_t packetsReceived = received.size() - 3;
  bool matched = false;
  for (std::size_t failed : {packetsReceived, packetsReceived + 1}) {
    const std::string start = downloadOutput(failed - 1, "");
    const std::string end =
        spinnerFor(failed).substr(spinnerFor(failed - 1).size()) + kDownloadFailed;
    const std::string& out = download.out;
    if (out.size() < start.size() + end.size() || out.rfind(start, 0) != 0 ||
        out.compare(out.size() - end.size(), std::string::npos, end) != 0) {
      continue;
    }
    const int failures =
        repeatsOf(out.substr(start.size(), out.size() - start.size() - end.size()), readFailure);
    matched = matched || (failures >= 0 && failures <= 50);
  }
  EXPECT_TRUE(matched) << download.out;
}

using Json = nlohmann::json;

std::vector<Json> jsonLinesOf(const std::string& text) {
  std::vector<Json> values;
  for (const std::string& line : linesOf(text)) values.push_back(Json::parse(line, nullptr, false));
  return values;
}

// The modems a case made, from its "modems" file: location and serial, in
// simulator order (modem_0, modem_1, ...).
std::vector<std::pair<std::string, std::string>> modemsOf(const CaseResults& results) {
  std::vector<std::pair<std::string, std::string>> modems;
  for (const std::string& line : linesOf(results.file("modems"))) {
    const std::size_t space = line.find(' ');
    modems.emplace_back(line.substr(0, space), line.substr(space + 1));
  }
  return modems;
}

const Json* withLocation(const std::vector<Json>& values, const std::string& location) {
  for (const Json& value : values) {
    if (value.is_object() && value.value("location", "") == location) return &value;
  }
  return nullptr;
}

// Each modem's simulator took the whole image, packet by packet in order.
void expectImagesReceived(const CaseResults& results, std::size_t modems) {
  const std::string image = results.file("fw.bin");
  std::vector<std::string> packets = downloadCommands(image);
  packets = std::vector<std::string>(packets.begin() + 3, packets.end() - 1);
  for (std::size_t n = 0; n < modems; ++n) {
    SCOPED_TRACE("modem_" + std::to_string(n));
    EXPECT_TRUE(results.file("modem_" + std::to_string(n) + ".image") == image);
    std::vector<std::string> received;
    for (const std::string& line : linesOf(results.file("modem_" + std::to_string(n) + ".log"))) {
      if (line.rfind("AT%DNLIMG=", 0) == 0) received.push_back(line);
    }
    EXPECT_TRUE(received == packets);
  }
}

// Three modems alike but for their serials: tty numbers follow enumeration,
// so each is known by its location. The station probes both ports of each
// (the second one reads nothing) and flashes all three at once.
TEST(RealKernel, StationListsAndFlashesThreeIdenticalModems) {
  CaseResults results("three_modems");
  results.expectCompleted();
  const auto modems = modemsOf(results);
  ASSERT_EQ(modems.size(), 3u);

  const ProgramRun list = results.run("list");
  EXPECT_EQ(list.status, 0) << list.err;
  const std::vector<Json> listed = jsonLinesOf(list.out);
  EXPECT_EQ(listed.size(), 3u) << list.out;
  for (std::size_t n = 0; n < modems.size(); ++n) {
    SCOPED_TRACE(modems[n].first);
    const Json* modem = withLocation(listed, modems[n].first);
    ASSERT_NE(modem, nullptr) << list.out;
    EXPECT_EQ((*modem)["serial"], modems[n].second);
    EXPECT_EQ((*modem)["version"], "EC25_10" + std::to_string(n));
    const Json& ports = (*modem)["ports"];
    ASSERT_EQ(ports.size(), 2u) << modem->dump();
    EXPECT_EQ(ports[0]["interface"], 0);
    EXPECT_EQ(ports[1]["interface"], 2);
    EXPECT_EQ((*modem)["at_port"], ports[0]["port"]);
  }

  const ProgramRun flash = results.run("flash");
  EXPECT_EQ(flash.status, 0) << flash.err;
  const std::vector<Json> records = jsonLinesOf(results.file("records.jsonl"));
  EXPECT_EQ(records.size(), 3u);
  for (const auto& [location, serial] : modems) {
    const Json* record = withLocation(records, location);
    ASSERT_NE(record, nullptr) << location;
    EXPECT_EQ((*record)["serial"], serial);
    EXPECT_EQ((*record)["result"], "PASS") << record->dump();
    EXPECT_EQ((*record)["bytes_sent"], 8192);
  }
  expectImagesReceived(results, modems.size());
}

// Watch: modems plugged in one after another, each re-plugged after its pass
// and checked on the version it then reports; SIGTERM ends the session with
// status 0, since no cycle failed.
TEST(RealKernel, WatchFlashesAndVerifiesThreeRepluggedModems) {
  CaseResults results("watch_replug");
  results.expectCompleted();
  const auto modems = modemsOf(results);
  ASSERT_EQ(modems.size(), 3u);
  const ProgramRun watch = results.run("watch");
  EXPECT_EQ(watch.status, 0) << watch.err;
  // Each cycle's record when its flash ended, then its last one (taken
  // here: the records read from the end).
  const std::vector<Json> records = jsonLinesOf(results.file("records.jsonl"));
  EXPECT_EQ(records.size(), 6u) << results.file("records.jsonl");
  const std::vector<Json> lastFirst(records.rbegin(), records.rend());
  for (const auto& [location, serial] : modems) {
    SCOPED_TRACE(location);
    const Json* record = withLocation(lastFirst, location);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ((*record)["serial"], serial);
    EXPECT_EQ((*record)["result"], "PASS") << record->dump();
    EXPECT_EQ((*record)["verified"], "VERIFIED") << record->dump();
    EXPECT_EQ((*record)["version_before"], "EC25_OLD");
    EXPECT_EQ((*record)["version_after"], "EC25_NEW");
    EXPECT_EQ((*record)["attempt"], 1);
    EXPECT_EQ((*record)["duplicate"], false);
  }
  expectImagesReceived(results, modems.size());
  const std::vector<Json> events = jsonLinesOf(watch.out);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back()["event"], "run-end") << watch.out;
}

}  // namespace
}  // namespace tarnwick::testing
