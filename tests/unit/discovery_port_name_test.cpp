#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "discovery/port_name_parse.h"

namespace tarnwick {
namespace {

using namespace std::string_literals;

// Parses `text` (all of its bytes); -999 stands for "no number".
int parsed(const std::string& text) {
  int comNumber = -999;
  const bool ok = parseComPortName(text.data(), static_cast<std::uint32_t>(text.size()), comNumber);
  EXPECT_EQ(ok, comNumber != -999) << "result and out-parameter disagree for " << text;
  return comNumber;
}

TEST(ParseComPortName, ReadsTheNumberAfterCom) {
  EXPECT_EQ(parsed("COM12\0"s), 12);
  EXPECT_EQ(parsed("COM 5\0"s), 5);
  EXPECT_EQ(parsed("COM3x\0"s), 3);
  EXPECT_EQ(parsed("COM7"), 7);
  EXPECT_EQ(parsed("COM007"), 7);
}

TEST(ParseComPortName, FollowsScanfRulesForTheNumber) {
  EXPECT_EQ(parsed("COM\t\n\v\f\r 9"), 9);
  EXPECT_EQ(parsed("COM+4"), 4);
  EXPECT_EQ(parsed("COM-2"), -2);
  EXPECT_EQ(parsed("COM- 2"), -999);
  EXPECT_EQ(parsed("COM+"), -999);
  EXPECT_EQ(parsed("COM\0"
                   "5"s),
            -999);
}

TEST(ParseComPortName, RejectsTextThatIsNotAComName) {
  for (const std::string& text :
       {"LPT1"s, "COMx"s, "COM"s, ""s, "\0"s, " COM5"s, "com5"s, "CO"s, "C0M5"s}) {
    EXPECT_EQ(parsed(text), -999) << text;
  }
}

TEST(ParseComPortName, ClampsNumbersBeyondInt) {
  EXPECT_EQ(parsed("COM2147483647"), INT_MAX);
  EXPECT_EQ(parsed("COM99999999999999999999"), INT_MAX);
  EXPECT_EQ(parsed("COM-2147483648"), INT_MIN);
  EXPECT_EQ(parsed("COM-99999999999999999999"), INT_MIN);
}

TEST(ParseComPortName, StopsAtTheCountWhenThereIsNoTerminator) {
  const char bytes[] = {'C', 'O', 'M', '1', '2', '3'};
  int comNumber = 0;
  ASSERT_TRUE(parseComPortName(bytes, 5, comNumber));
  EXPECT_EQ(comNumber, 12);
  EXPECT_FALSE(parseComPortName(bytes, 3, comNumber));
  EXPECT_EQ(comNumber, 12);
}

TEST(ParseComPortName, StopsAtTheFirstNul) {
  EXPECT_EQ(parsed("COM1\0"
                   "23"s),
            1);
}

}  // namespace
}  // namespace tarnwick
