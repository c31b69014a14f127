// Replies collected in runs of fetched bytes: where a run ends inside a
// terminator, holds NULs, or crosses the reply cap.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "atlink/at_interface.h"
#include "support/fake_serial_port.h"

namespace tarnwick {
namespace {

// A literal's bytes, NULs included.
template <std::size_t N>
std::string bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

struct RunCase {
  const char* name;
  std::vector<std::string> fetches;
  std::string raw;
  FailureKind failure;  // None: answered with OK
  std::string left;     // bytes still waiting after an answered transaction
};

std::vector<RunCase> runCases() {
  const std::size_t cap = 64 * 1024;
  const std::string lead(100, 'x');  // moves the cap off a fetch boundary
  const std::string fill(cap - lead.size() - 6, 'y');
  const auto None = FailureKind::None;
  return {
      {"TerminatorSplitBeforeItsLineFeed",
       {"AT\r\r\nOK\r", "\nRING"},
       "AT\r\r\nOK\r\n",
       None,
       "RING"},
      {"NulRunsAtEveryPlace",
       {bytes("\0\0\0AT\0\0\r"), bytes("\0\0\0\0"), bytes("\r\n\0O\0\0K\r\0\n\0\0")},
       "AT\r\r\nOK\r\n",
       None,
       bytes("\0\0")},
      {"ErrorAfterLinesEndingInLineFeeds",
       {"AT\r\r\n+CME\n\n", "\r\nERROR\r\nOK"},
       "AT\r\r\n+CME\n\n\r\nERROR\r\n",
       FailureKind::ErrorAnswer,
       ""},
      {"ResultOnTheLastByteTheCapAllows",
       {lead, fill + "\r\nOK\r\nafter"},
       lead + fill + "\r\nOK\r\n",
       None,
       "after"},
      {"CapReachedInsideARunIsAReplyTooLong",
       {lead, fill + "y\r\nOK\r\n"},
       lead + fill + "y\r\nOK\r",
       FailureKind::ReplyTooLong,
       ""},
      {"NulRunsCountTowardTheCap",
       {std::string(cap + 10, '\0') + "\r\nOK\r\n"},
       "",
       FailureKind::ReplyTooLong,
       ""},
  };
}

class ReplyRunsTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(ReplyRunsTest, CollectsAsByteByByte) {
  const RunCase& c = GetParam();
  auto* port = new testing::FakeSerialPort;
  AtInterface link{std::unique_ptr<SerialPort>(port)};
  ASSERT_TRUE(link.openPort(3));
  for (const std::string& fetch : c.fetches) port->queueBytes(fetch);
  std::string raw, body;
  EXPECT_EQ(link.sendCommand("AT", raw, body), c.failure == FailureKind::None);
  EXPECT_TRUE(raw == c.raw) << "raw reply of " << raw.size() << " bytes";
  EXPECT_EQ(link.lastFailure().kind, c.failure);
  if (c.failure != FailureKind::None) return;
  std::string left;
  for (char byte = 0; link.readChar(byte);) left.push_back(byte);
  EXPECT_EQ(left, c.left);
}

INSTANTIATE_TEST_SUITE_P(Fetches, ReplyRunsTest, ::testing::ValuesIn(runCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnwick
