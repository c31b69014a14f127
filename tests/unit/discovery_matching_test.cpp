#include <gtest/gtest.h>

#include <string>

#include "discovery/hardware_id_match.h"
#include "text/lower_case_text.h"

namespace tarnwick {
namespace {

using namespace std::string_literals;

TEST(LowerCaseText, LowersOnlyAsciiCapitalsAndKeepsEveryByte) {
  const std::string input = "USB\\VID_12AB&PID_34CD\0Az@[`{\x80\xC4\xFF\0\0"s;
  const std::string lowered = lowerCaseText(input.data(), static_cast<unsigned>(input.size()));
  EXPECT_EQ(lowered, "usb\\vid_12ab&pid_34cd\0az@[`{\x80\xC4\xFF\0\0"s);
}

TEST(LowerCaseText, TakesExactlyCountBytes) {
  const char bytes[] = {'A', 'B', '\0', 'C', 'D'};
  EXPECT_EQ(lowerCaseText(bytes, 4), "ab\0c"s);
  EXPECT_EQ(lowerCaseText(bytes, 0), "");
}

TEST(FirstIdContains, SearchesOnlyTheFirstId) {
  const std::string ids = "usb\\vid_ffff&pid_0001\0usb\\vid_12ab&pid_34cd\0\0"s;
  EXPECT_TRUE(firstIdContains(ids, "vid_ffff&pid_0001"));
  EXPECT_TRUE(firstIdContains(ids, "pid_00"));
  EXPECT_FALSE(firstIdContains(ids, "vid_12ab&pid_34cd"));
  // The separator itself does not let a pattern span two ids.
  EXPECT_FALSE(firstIdContains(ids, "0001usb"));
}

TEST(FirstIdContains, WorksOnAListWithoutAnyTerminator) {
  EXPECT_TRUE(firstIdContains("usb\\vid_12ab&pid_34cd", "vid_12ab&pid_34cd"));
  EXPECT_FALSE(firstIdContains("", "vid_"));
}

}  // namespace
}  // namespace tarnwick
