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
  bool answered;
  std::string raw;  // compared when rawSize is 0
  std::size_t rawSize;
  FailureKind failure;
  std::string left;  // bytes still waiting after an answered transaction
};

std::vector<RunCase> runCases() {
  const std::size_t cap = 64 * 1024;
  const std::string lead(100, 'x');  // moves the cap off a fetch boundary
  return {
      {"TerminatorSplitBeforeItsLineFeed",
       {"AT\r\r\nOK\r", "\nRING"},
       true,
       "AT\r\r\nOK\r\n",
       0,
       FailureKind::None,
       "RING"},
      {"TerminatorSplitAfterItsFirstLineFeed",
       {"AT\r\r\n", "OK\r\nnext"},
       true,
       "AT\r\r\nOK\r\n",
       0,
       FailureKind::None,
       "next"},
      {"LineFeedsBeforeTheResultEndNothing",
       {"AT\r\r\n+X\n\n\r\nOK\r\n\r\n"},
       true,
       "AT\r\r\n+X\n\n\r\nOK\r\n",
       0,
       FailureKind::None,
       "\r\n"},
      {"NulRunsAtEveryPlace",
       {bytes("\0\0\0AT\0\0\r"), bytes("\0\0\0\0"), bytes("\r\n\0O\0\0K\r\0\n\0\0")},
       true,
       "AT\r\r\nOK\r\n",
       0,
       FailureKind::None,
       bytes("\0\0")},
      {"ErrorAfterLinesEndingInLineFeeds",
       {"AT\r\r\n+CME\r\n", "\r\nERROR\r\nOK"},
       false,
       "AT\r\r\n+CME\r\n\r\nERROR\r\n",
       0,
       FailureKind::ErrorAnswer,
       ""},
      {"ResultCompleteOnTheLastByteTheCapAllows",
       {lead, std::string(cap - lead.size() - 6, 'y') + "\r\nOK\r\nafter"},
       true,
       "",
       cap,
       FailureKind::None,
       "after"},
      {"CapReachedInsideARunIsAReplyTooLong",
       {lead, std::string(cap - lead.size() - 5, 'y') + "\r\nOK\r\n"},
       false,
       "",
       cap,
       FailureKind::ReplyTooLong,
       ""},
      {"NulRunsCountTowardTheCap",
       {std::string(cap + 10, '\0') + "\r\nOK\r\n"},
       false,
       "",
       0,
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
  EXPECT_EQ(link.sendCommand("AT", raw, body), c.answered);
  if (c.rawSize == 0) {
    EXPECT_EQ(raw, c.raw);
  } else {
    EXPECT_EQ(raw.size(), c.rawSize);
  }
  EXPECT_EQ(link.lastFailure().kind, c.failure);
  if (!c.answered) return;
  std::string left;
  for (char byte = 0; link.readChar(byte);) left.push_back(byte);
  EXPECT_EQ(left, c.left);
}

INSTANTIATE_TEST_SUITE_P(Fetches, ReplyRunsTest, ::testing::ValuesIn(runCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnwick
