// One worker on a scripted modem: its final state, stage and reason for
// each way a flash can end, and the image bytes the modem received.
#include "station/run/worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "station/run/image_source.h"
#include "station_fakes.h"
#include "support/fake_modem.h"

namespace tarnwick::testing {
namespace {

constexpr int kEio = 5;

struct WorkerCase {
  const char* name;
  std::size_t imageSize;
  std::function<void(FakeSerialPort&, FakeModem&, std::atomic<bool>& stop)> script;
  bool portStaysPresent;
  FlashResult result;
  std::string stage;
  std::string reason;  // the start of the reason
  bool imageIntact;
  bool portAppearsLater = false;   // listed without ports at first (watch, with a settle time)
  bool bytesChangeUnseen = false;  // see QuietlyChangingImage
  // With --validate: the MES's answers in turn (the last again); whether the
  // unit waits for an answer (watch).
  std::vector<MesGateAnswer> mes = {};
  bool mesWaits = false;
};

// The interlock as the worker sees it: scripted answers, counted waits.
class FakeGate final : public MesGate {
 public:
  FakeGate(std::vector<MesGateAnswer> answers, bool waits) : answers_(answers), waits_(waits) {}
  MesGateAnswer ask(const CfxUnitToValidate& unit) override {
    asked.push_back(unit.unitIdentifier);
    return answers_[std::min(asked.size(), answers_.size()) - 1];
  }
  bool waitsForAnswer() const override { return waits_; }
  int retryMs() const override { return 0; }
  void unitWaits(bool waits) override { waiting += waits ? 1 : -1; }
  std::vector<std::string> asked;
  int waiting = 0;

 private:
  std::vector<MesGateAnswer> answers_;
  bool waits_;
};

using Mes = MesGateAnswer::Kind;
const MesGateAnswer kSilent{Mes::NoAnswer, "the MES did not answer within 2 s"};

// 512-byte packets: an image of 3000 bytes goes in 6 packets.
const WorkerCase kCases[] = {
    {"pass", 3000, [](FakeSerialPort&, FakeModem&, std::atomic<bool>&) {}, true, FlashResult::Pass,
     "end", "", true},
    {"bytes_changed_behind_unchanged_file_times", 3000,
     [](FakeSerialPort&, FakeModem&, std::atomic<bool>&) {}, true, FlashResult::Fail,
     "packet 6 of 6", "image changed while it was sent", false, false, true},
    {"error_at_fifth_packet", 3000,
     [](FakeSerialPort&, FakeModem& modem, std::atomic<bool>&) { modem.errorAtPacket = 5; }, true,
     FlashResult::Fail, "packet 5 of 6", "ERROR answer", false},
    {"error_at_end", 3000,
     [](FakeSerialPort&, FakeModem& modem, std::atomic<bool>&) { modem.errorAtEnd = true; }, true,
     FlashResult::Fail, "end", "ERROR answer", false},
    {"port_cannot_be_opened", 3000,
     [](FakeSerialPort& port, FakeModem&, std::atomic<bool>&) { port.failOpen(kEio); }, true,
     FlashResult::Fail, "connect", "port open failed with error 5", false},
    {"silent_modem", 3000,
     [](FakeSerialPort& port, FakeModem&, std::atomic<bool>&) {
       port.setResponder([](const std::string&) { return std::string(); });
     },
     true, FlashResult::Fail, "handshake", "no answer within the budget", false},
    {"write_failure_with_port_still_listed", 3000,
     [](FakeSerialPort& port, FakeModem& modem, std::atomic<bool>&) {
       modem.packetSizeText = "512";
       port.setResponder([&port](const std::string& line) -> std::string {
         if (line.rfind("AT%DNLIMG", 0) == 0) port.failWrites(IoStatus::Failed, kEio);
         if (line == "AT%DNLPK?") return line + "\r\r\n512\r\n\r\nOK\r\n";
         return line + "\r\r\nOK\r\n";
       });
     },
     true, FlashResult::Fail, "packet 2 of 6", "write failure", false},
    {"vanishes_mid_download", 3000,
     [](FakeSerialPort& port, FakeModem&, std::atomic<bool>&) {
       port.setResponder([&port](const std::string& line) -> std::string {
         if (line.rfind("AT%DNLIMG", 0) == 0) {
           port.queueReadError(kEio, 60);
           return {};
         }
         if (line == "AT%DNLPK?") return line + "\r\r\n512\r\n\r\nOK\r\n";
         return line + "\r\r\nOK\r\n";
       });
     },
     false, FlashResult::Fail, "packet 1 of 6", "vanished (read error 5", false},
    {"version_query_fails_then_flashes", 3000,
     [](FakeSerialPort&, FakeModem& modem, std::atomic<bool>&) {
       modem.versionReply = "\r\nERROR\r\n";
     },
     true, FlashResult::Pass, "end", "", true},
    {"port_listed_only_at_the_retry", 3000, [](FakeSerialPort&, FakeModem&, std::atomic<bool>&) {},
     true, FlashResult::Pass, "end", "", true, true},
    {"stopped_before_start", 3000,
     [](FakeSerialPort&, FakeModem&, std::atomic<bool>& stop) { stop = true; }, true,
     FlashResult::Aborted, "connect", "stopped by the operator", false},
    {"stopped_mid_download_left_in_download_mode", 3000,
     [](FakeSerialPort& port, FakeModem&, std::atomic<bool>& stop) {
       port.setResponder([&stop](const std::string& line) -> std::string {
         if (line.rfind("AT%DNLIMG", 0) == 0) stop = true;  // during packet 1
         if (line == "AT%DNLPK?") return line + "\r\r\n512\r\n\r\nOK\r\n";
         return line + "\r\r\nOK\r\n";
       });
     },
     true, FlashResult::Aborted, "packet 2 of 6",
     "stopped by the operator; the modem is left in download mode", false},
    {"mes_refuses",
     3000,
     [](FakeSerialPort&, FakeModem&, std::atomic<bool>&) {},
     true,
     FlashResult::Refused,
     "validate",
     "the MES refused the unit: on hold (code 7)",
     false,
     false,
     false,
     {{Mes::Refused, "the MES refused the unit: on hold (code 7)"}}},
    {"mes_silent_in_flash",
     3000,
     [](FakeSerialPort&, FakeModem&, std::atomic<bool>&) {},
     true,
     FlashResult::Refused,
     "validate",
     "the MES did not answer within 2 s",
     false,
     false,
     false,
     {kSilent}},
    {"mes_answers_after_a_wait_in_watch",
     3000,
     [](FakeSerialPort&, FakeModem&, std::atomic<bool>&) {},
     true,
     FlashResult::Pass,
     "end",
     "",
     true,
     false,
     false,
     {kSilent, kSilent, {Mes::Passed, ""}},
     true},
    {"mes_wait_ends_when_the_unit_is_pulled",
     3000,
     [](FakeSerialPort&, FakeModem&, std::atomic<bool>&) {},
     false,
     FlashResult::Refused,
     "validate",
     "pulled while it waited for the MES",
     false,
     false,
     false,
     {kSilent},
     true},
};

class WorkerTest : public ::testing::TestWithParam<WorkerCase> {};

TEST_P(WorkerTest, EndsInItsFinalState) {
  const WorkerCase& c = GetParam();
  TempDir dir;
  const std::string imageBytes = patternBytes(c.imageSize, 7);
  const std::string imagePath = dir.writeFile("image.bin", imageBytes);
  auto file = std::make_unique<QuietlyChangingImage>();
  QuietlyChangingImage& changing = *file;
  ImageSource image(std::move(file));
  std::string why;
  ASSERT_TRUE(image.open(imagePath, why)) << why;
  changing.changed = c.bytesChangeUnseen;

  FakeSerialPort port;
  FakeModem modem(port);
  std::atomic<bool> stop{false};
  c.script(port, modem, stop);

  WorkerShared shared;
  shared.recordBase.image = imagePath;
  shared.image = &image;
  shared.makePort = [&port] { return std::make_unique<BorrowedPort>(port); };
  shared.portPresent = [&c](int) { return c.portStaysPresent; };
  shared.stop = &stop;
  FakeGate gate(c.mes, c.mesWaits);
  const std::atomic<bool> gone{!c.portStaysPresent};
  shared.gone = &gone;
  if (!c.mes.empty()) shared.mesGate = &gate;
  FlashTarget target{"1-4", "SER4", "1234", "5678", {{7, "ttyUSB6", 0}}};
  if (c.portAppearsLater) {
    shared.settleMs = 2000;
    shared.currentPorts = [ports = target.ports](std::vector<FlashTarget::Port>& now) {
      now = ports;
      return true;
    };
    target.ports.clear();
  }
  EventQueue events;
  Worker(target, 3, shared, events).run();

  StationEvent event;
  StationEvent last;
  int eventCount = 0;
  while (events.take(event, 0)) {
    EXPECT_EQ(event.modem, 3u);
    last = event;
    ++eventCount;
  }
  ASSERT_EQ(last.kind, EventKind::ModemEnd) << "the record comes last";
  const ModemRecord& record = last.record;
  EXPECT_EQ(record.result, c.result) << record.reason << "\nlog:\n" << record.log;
  EXPECT_EQ(record.stage, c.stage);
  EXPECT_EQ(record.reason.rfind(c.reason, 0), 0u) << record.reason;
  EXPECT_EQ(record.location, "1-4");
  EXPECT_EQ(record.port, 7);
  EXPECT_FALSE(port.isOpen) << "the port is closed when the worker ends";
  EXPECT_EQ(modem.ended && modem.image == imageBytes, c.imageIntact);
  EXPECT_EQ(modem.ended, c.result == FlashResult::Pass) << "AT%DNL=0 only after a pass";
  if (!c.mes.empty()) {
    EXPECT_EQ(gate.asked.front(), record.imei) << "known as UnitsTested knows it";
    EXPECT_FALSE(record.imei.empty());
    EXPECT_EQ(gate.waiting, 0) << "every wait for the MES has ended";
    const bool download =
        std::any_of(modem.commands.begin(), modem.commands.end(),
                    [](const std::string& command) { return command.rfind("AT%DNL", 0) == 0; });
    EXPECT_EQ(download, c.result == FlashResult::Pass) << "no download command without Passed";
  }
  if (c.result == FlashResult::Pass) {
    EXPECT_EQ(record.bytesSent, c.imageSize);
    EXPECT_EQ(record.packets, (c.imageSize + 511) / 512);
  }
}

INSTANTIATE_TEST_SUITE_P(Outcomes, WorkerTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WorkerVersion, TakenTrimmedAndMissingWhenTheQueryFails) {
  TempDir dir;
  const std::string imagePath = dir.writeFile("image.bin", patternBytes(100));
  ImageSource image;
  std::string why;
  ASSERT_TRUE(image.open(imagePath, why));
  const std::string kOk = "\r\n\r\nOK\r\n";
  const std::string kError = "\r\nERROR\r\n";
  struct Replies {
    std::string version, imei, expected, expectedImei;
  };
  for (const auto& [reply, imeiReply, expected, imei] : std::vector<Replies>{
           {"\r\n  REV 1.2 " + kOk, "\r\n356938035643809" + kOk, "REV 1.2", "356938035643809"},
           {kError, kError, "", ""},
           {"\r\nR1" + kOk, "\r\n+CGSN: \"356938035643817\"" + kOk, "R1", "356938035643817"},
           {"\r\nR1" + kOk, "\r\nSIMCOM_SN_7" + kOk, "R1", ""}}) {
    FakeSerialPort port;
    FakeModem modem(port);
    modem.versionReply = reply;
    modem.imeiReply = imeiReply;
    std::atomic<bool> stop{false};
    WorkerShared shared;
    shared.image = &image;
    shared.makePort = [&port] { return std::make_unique<BorrowedPort>(port); };
    shared.stop = &stop;
    EventQueue events;
    Worker(FlashTarget{"1-1", "", "1234", "5678", {{3, "", std::nullopt}}}, 0, shared, events)
        .run();
    StationEvent event;
    ModemRecord record;
    while (events.take(event, 0)) record = event.record;
    EXPECT_EQ(record.versionBefore, expected);
    EXPECT_EQ(record.imei, imei);
    EXPECT_EQ(record.result, FlashResult::Pass);
    // A failed query is followed by a fresh handshake before the download.
    const bool failed = expected.empty();
    EXPECT_EQ(modem.commands[2], failed ? "AT" : "AT+CGSN");
    EXPECT_EQ(record.log.find("AT+CGMR failed: ERROR answer") != std::string::npos, failed);
    const std::size_t imeiQuery = failed ? 3 : 2;
    EXPECT_EQ(modem.commands[imeiQuery + 1], failed ? "AT" : "AT%DNLPK?");
  }
}

}  // namespace
}  // namespace tarnwick::testing
