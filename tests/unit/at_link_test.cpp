#include <gtest/gtest.h>

#include <string>

#include "atlink/at_commands.h"
#include "atlink/at_interface.h"
#include "support/fake_serial_port.h"

namespace tarnwick {
namespace {

using testing::FakeSerialPort;

// A link on a scripted port, opened on COM 3 without a handshake.
class AtLinkTest : public ::testing::Test {
 protected:
  AtLinkTest() : port_(new FakeSerialPort), link_(std::unique_ptr<SerialPort>(port_)) {}

  void open() { ASSERT_TRUE(link_.openPort(3)); }

  struct Transaction {
    bool result;
    std::string raw;
    std::string body;
  };
  Transaction send(const std::string& command) {
    Transaction t;
    t.result = link_.sendCommand(command, t.raw, t.body);
    return t;
  }

  FakeSerialPort* port_;
  AtInterface link_;
};

TEST_F(AtLinkTest, EchoThenOkGivesTheRestOfTheEchoLineAsBody) {
  open();
  port_->queueBytes("AT\r\r\nOK\r\n");
  Transaction t = send("AT");
  EXPECT_TRUE(t.result);
  EXPECT_EQ(t.raw, "AT\r\r\nOK\r\n");
  EXPECT_EQ(t.body, "\r");
  EXPECT_EQ(port_->written, "AT\r");
  EXPECT_EQ(link_.comNumber(), 3);
  EXPECT_EQ(link_.lastCommand(), "AT");
}

TEST_F(AtLinkTest, ReplyWithoutEchoAndInformationLines) {
  open();
  port_->queueBytes("\r\nOK\r\n");
  Transaction t = send("AT");
  EXPECT_TRUE(t.result);
  EXPECT_EQ(t.body, "");

  port_->queueBytes("AT+CGMR\r\r\nREV 1.0\r\nBUILD 7\r\n\r\nOK\r\n");
  t = send("AT+CGMR");
  EXPECT_TRUE(t.result);
  EXPECT_EQ(t.body, "\r\r\nREV 1.0\r\nBUILD 7\r\n");
}

TEST_F(AtLinkTest, ErrorStopsRightAfterTheErrorLineAndClosesThePort) {
  open();
  port_->queueBytes("ATX\r\r\nERROR\r\nLEFTOVER");
  Transaction t = send("ATX");
  EXPECT_FALSE(t.result);
  EXPECT_EQ(t.raw, "ATX\r\r\nERROR\r\n");
  EXPECT_EQ(t.body, "\r\r\nERROR\r\n");
  EXPECT_EQ(link_.comNumber(), 0);
  EXPECT_EQ(port_->closes, 1);
}

TEST_F(AtLinkTest, SilentModemCostsExactlyFiftyEmptyReads) {
  open();
  Transaction t = send("AT");
  EXPECT_FALSE(t.result);
  EXPECT_EQ(t.raw, "");
  EXPECT_EQ(t.body, "");
  EXPECT_EQ(port_->silentReads, 50);
  for (unsigned wait : port_->readWaits) EXPECT_EQ(wait, 200u);
  EXPECT_EQ(link_.comNumber(), 0);
}

TEST_F(AtLinkTest, UnframedOkIsNotAFinalResult) {
  open();
  port_->queueBytes("AT\rOK");
  Transaction t = send("AT");
  EXPECT_FALSE(t.result);
  EXPECT_EQ(t.raw, "AT\rOK");
  EXPECT_EQ(port_->silentReads, 50);
}

TEST_F(AtLinkTest, OkBeforeAnyEchoEndsTheReplyWithAnEmptyBody) {
  open();
  port_->queueBytes("\r\nOK\r\nAT+X\r");
  Transaction t = send("AT+X");
  EXPECT_TRUE(t.result);
  EXPECT_EQ(t.raw, "\r\nOK\r\n");
  EXPECT_EQ(t.body, "");
}

TEST_F(AtLinkTest, NulBytesAreDroppedAndBytesAfterTheResultStayForTheNextTransaction) {
  open();
  const char withNuls[] = "A\0T\r\r\nO\0K\r\n\r\nRING\r\n";
  port_->queueBytes(std::string(withNuls, sizeof withNuls - 1));
  Transaction t = send("AT");
  EXPECT_TRUE(t.result);
  EXPECT_EQ(t.raw, "AT\r\r\nOK\r\n");
  port_->queueBytes("AT\r\r\nOK\r\n");
  t = send("AT");
  EXPECT_TRUE(t.result);
  EXPECT_EQ(t.raw, "\r\nRING\r\nAT\r\r\nOK\r\n");
}

TEST_F(AtLinkTest, RepliesArrivingInPiecesAndAcrossSilencesAreJoined) {
  open();
  port_->queueBytes("AT");
  port_->queueSilence(3);
  port_->queueBytes("\r\r\nO");
  port_->queueSilence(1);
  port_->queueBytes("K\r\n");
  Transaction t = send("AT");
  EXPECT_TRUE(t.result);
  EXPECT_EQ(t.raw, "AT\r\r\nOK\r\n");
  EXPECT_EQ(port_->silentReads, 4);
}

TEST_F(AtLinkTest, BudgetCountsEmptyReadsOfTheWholeTransaction) {
  open();
  // 49 empty reads spread over the reply still leave room for the result.
  for (int i = 0; i < 49; ++i) {
    port_->queueSilence();
    port_->queueBytes("x");
  }
  port_->queueBytes("\r\nOK\r\n");
  EXPECT_TRUE(send("AT").result);

  ASSERT_TRUE(link_.openPort(3));
  for (int i = 0; i < 50; ++i) {
    port_->queueSilence();
    port_->queueBytes("x");
  }
  port_->queueBytes("\r\nOK\r\n");
  Transaction t = send("AT");
  EXPECT_FALSE(t.result);
  EXPECT_EQ(t.raw, std::string(49, 'x'));
}

TEST_F(AtLinkTest, CollectWithoutPortOrBudgetReadsNothing) {
  std::string reply = "stale";
  EXPECT_FALSE(link_.collectResponse(reply, OkTerminator, ErrorTerminator, 10000));
  EXPECT_EQ(reply, "");
  open();
  port_->queueBytes("\r\nOK\r\n");
  EXPECT_FALSE(link_.collectResponse(reply, OkTerminator, ErrorTerminator, 0));
  EXPECT_FALSE(link_.collectResponse(reply, OkTerminator, ErrorTerminator, -5));
  EXPECT_EQ(port_->readRequests, 0);
  char byte = 'q';
  link_.closePort();
  EXPECT_FALSE(link_.readChar(byte));
  EXPECT_EQ(byte, 'q');
  EXPECT_EQ(port_->readRequests, 0);
}

TEST_F(AtLinkTest, EndlessReplyIsCappedAndFailsTheTransaction) {
  open();
  for (int i = 0; i < 100; ++i) port_->queueBytes(std::string(1024, 'z'));
  Transaction t = send("AT");
  EXPECT_FALSE(t.result);
  EXPECT_EQ(t.raw.size(), 64u * 1024u);
  EXPECT_EQ(link_.comNumber(), 0);
}

TEST_F(AtLinkTest, FlushDiscardsWaitingBytesWithOneFinalEmptyRead) {
  open();
  link_.flushInput();
  EXPECT_EQ(port_->readRequests, 1);
  port_->queueBytes("garbage\r\nRING\r\n");
  port_->queueBytes("more");
  link_.flushInput();
  EXPECT_EQ(port_->readRequests, 4);
  EXPECT_EQ(port_->silentReads, 2);
  port_->queueBytes("\r\nOK\r\n");
  EXPECT_EQ(send("AT").raw, "\r\nOK\r\n");
}

TEST_F(AtLinkTest, ReadErrorIsReportedOnEveryCallAndChargedToTheBudget) {
  open();
  port_->queueReadError(5, 50);
  ::testing::internal::CaptureStdout();
  Transaction t = send("AT");
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_FALSE(t.result);
  std::string line = "readchar: unable to read from UE for error 5.\n";
  std::size_t count = 0;
  for (std::size_t at = out.find(line); at != std::string::npos; at = out.find(line, at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, 50u);
  EXPECT_NE(out.find("ERROR: readChar failed with error code 5 as follows:\n"), std::string::npos);
  EXPECT_EQ(port_->readRequests, 50);
}

TEST_F(AtLinkTest, WriteLineSendsTheCommandAndOneCarriageReturn) {
  open();
  EXPECT_TRUE(link_.writeLine("AT"));
  EXPECT_EQ(port_->written, "AT\r");
  port_->written.clear();
  std::string longest(2046, 'A');
  EXPECT_TRUE(link_.writeLine(longest));
  EXPECT_EQ(port_->written, longest + "\r");
  port_->written.clear();
  EXPECT_FALSE(link_.writeLine(std::string(2047, 'A')));
  EXPECT_EQ(port_->written, "");
}

TEST_F(AtLinkTest, WriteLineContinuesPartialWritesAndStopsAtTheFirstFailure) {
  open();
  port_->acceptAtMostPerWrite(3);
  EXPECT_TRUE(link_.writeLine("AT+CGMR"));
  EXPECT_EQ(port_->written, "AT+CGMR\r");
  EXPECT_EQ(port_->writeRequests, 3);
  port_->failWrites(IoStatus::TimedOut);
  port_->writeRequests = 0;
  EXPECT_FALSE(link_.writeLine("AT"));
  EXPECT_EQ(port_->writeRequests, 1);
  Transaction t = send("AT");
  EXPECT_FALSE(t.result);
  EXPECT_EQ(t.raw, "");
  EXPECT_EQ(port_->readRequests, 0);
  EXPECT_EQ(link_.comNumber(), 0);
}

TEST_F(AtLinkTest, InitialiseOpensDrainsAndShakesHands) {
  port_->queueBytes("noise from before");
  port_->queueSilence();
  port_->queueBytes("AT\r\r\nOK\r\n");
  EXPECT_TRUE(link_.initialise(7));
  EXPECT_EQ(port_->opened, std::vector<int>{7});
  EXPECT_EQ(port_->written, "AT\r");
  EXPECT_EQ(link_.rawReply(), "AT\r\r\nOK\r\n");
  EXPECT_EQ(link_.replyBody(), "\r");
  EXPECT_EQ(link_.comNumber(), 7);
}

TEST_F(AtLinkTest, InitialiseClosesAnOpenPortFirstEvenOnTheSameNumber) {
  port_->setResponder([](const std::string&) { return std::string("\r\nOK\r\n"); });
  ASSERT_TRUE(link_.initialise(7));
  ASSERT_TRUE(link_.initialise(7));
  EXPECT_EQ(port_->opened, (std::vector<int>{7, 7}));
  EXPECT_EQ(port_->closes, 1);
}

TEST_F(AtLinkTest, InitialiseOnAMissingPortReportsTheOpenFailure) {
  port_->failOpen(2);
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(link_.initialise(9));
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("ERROR: Tarnwick Failed to connect to port\n failed with error code 2", 0),
            0u);
  EXPECT_EQ(out.find("initialise - AT interface failed"), std::string::npos);
  EXPECT_EQ(link_.rawReply(), "Failed to connect to port 9");
  EXPECT_EQ(link_.comNumber(), 0);
  EXPECT_EQ(port_->written, "");
}

TEST_F(AtLinkTest, InitialiseWithASilentModemReportsTheHandshake) {
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(link_.initialise(4));
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("ERROR: initialise - AT interface failed", 0), 0u);
  EXPECT_EQ(link_.comNumber(), 0);
  EXPECT_EQ(port_->closes, 1);
}

TEST_F(AtLinkTest, ClosePortDropsFetchedBytesAndShutdownClosesOnce) {
  open();
  port_->queueBytes("stale bytes");
  char byte = 0;
  ASSERT_TRUE(link_.readChar(byte));
  EXPECT_EQ(byte, 's');
  link_.closePort();
  link_.closePort();
  EXPECT_EQ(port_->closes, 1);
  open();
  port_->queueBytes("\r\nOK\r\n");
  EXPECT_EQ(send("AT").raw, "\r\nOK\r\n");
  link_.shutdown();
  link_.shutdown();
  EXPECT_EQ(port_->closes, 2);
  EXPECT_EQ(link_.lastCommand(), "");
}

TEST(AtInterfaceInstance, IsOneObject) {
  EXPECT_EQ(&AtInterface::instance(), &AtInterface::instance());
  EXPECT_EQ(AtInterface::instance().comNumber(), 0);
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

TEST(AtLinkCap, EndlessNulBytesEndTheTransactionToo) {
  auto* port = new testing::FakeSerialPort;
  AtInterface link{std::unique_ptr<SerialPort>(port)};
  ASSERT_TRUE(link.openPort(2));
  for (int i = 0; i < 100; ++i) port->queueBytes(std::string(1024, '\0'));
  std::string raw, body;
  EXPECT_FALSE(link.sendCommand("AT", raw, body));
  EXPECT_EQ(raw, "");
  EXPECT_EQ(link.comNumber(), 0);
  EXPECT_LE(port->readRequests, 70);
}

}  // namespace
}  // namespace tarnwick
