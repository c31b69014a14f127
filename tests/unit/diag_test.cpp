#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "diag/format_bounded.h"
#include "diag/report_system_error.h"
#include "platform/last_error.h"
#include "text/decimal_scan.h"

namespace tarnwick {
namespace {

TEST(FormatBounded, RefusesZeroAndOversizedSizesWithoutTouchingTheBuffer) {
  char buffer[4] = {'x', 'y', 'z', 'w'};
  EXPECT_EQ(formatBounded(buffer, 0, "%s", "a"), kFormatInvalidArgument);
  EXPECT_EQ(formatBounded(buffer, 0x80000000u, "%s", "a"), kFormatInvalidArgument);
  EXPECT_EQ(std::string(buffer, 4), "xyzw");
  EXPECT_LT(kFormatInvalidArgument, 0);
  EXPECT_LT(kFormatInsufficientBuffer, 0);
}

TEST(FormatBounded, SizeOneHoldsOnlyTheTerminator) {
  char buffer[2] = {'x', 'x'};
  EXPECT_EQ(formatBounded(buffer, 1, "%s", ""), kFormatOk);
  EXPECT_EQ(buffer[0], '\0');
  buffer[0] = 'x';
  EXPECT_EQ(formatBounded(buffer, 1, "%s", "abc"), kFormatInsufficientBuffer);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'x');
}

TEST(FormatBounded, ExactFitSucceedsAndOneShortCutsTheLastCharacter) {
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(formatBounded(buffer, 6, "%s-%d", "ab", 42), kFormatOk);
  EXPECT_STREQ(buffer, "ab-42");
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(formatBounded(buffer, 5, "%s-%d", "ab", 42), kFormatInsufficientBuffer);
  EXPECT_STREQ(buffer, "ab-4");
  EXPECT_EQ(buffer[5], 'x');
}

std::string reportFor(int code, const char* operation) {
  ::testing::internal::CaptureStdout();
  setLastErrorCode(code);
  reportSystemError(operation);
  return ::testing::internal::GetCapturedStdout();
}

std::string systemText(int code) {
  std::string text;
  EXPECT_TRUE(systemErrorText(code, text));
  return text;
}

TEST(ReportSystemError, CodeZeroPrintsOnlyTheOperation) {
  EXPECT_EQ(reportFor(0, "initialise - AT interface failed"),
            "ERROR: initialise - AT interface failed\n");
}

TEST(ReportSystemError, SmallCodeGivesOperationCodeAndSystemText) {
  EXPECT_EQ(reportFor(2, "Tarnwick\n"),
            "ERROR: Tarnwick\n failed with error code 2 as follows:\n" + systemText(2) + "\n");
}

TEST(ReportSystemError, LongAndNegativeCodesAreReportedWhole) {
  EXPECT_EQ(reportFor(1234, "readChar"),
            "ERROR: readChar failed with error code 1234 as follows:\n" + systemText(1234) + "\n");
  const int mostNegative = static_cast<int>(0x80000000u);
  std::string report = reportFor(mostNegative, "readChar");
  EXPECT_EQ(report, "ERROR: readChar failed with error code -2147483648 as follows:\n" +
                        systemText(mostNegative) + "\n");
  EXPECT_EQ(report.find("FATAL"), std::string::npos);
}

TEST(ReportSystemError, ReadsTheErrorBeforeAnythingElse) {
  // A long operation text must not disturb the code that is reported.
  std::string operation(5000, 'o');
  std::string report = reportFor(13, operation.c_str());
  EXPECT_NE(report.find(operation + " failed with error code 13 as follows:\n"), std::string::npos);
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

TEST(DecimalScan, ReadsLikePercentDAndClampsWhatDoesNotFit) {
  DecimalScan scan = scanDecimal(" \r\n-42abc");
  EXPECT_TRUE(scan.found);
  EXPECT_EQ(scan.value, -42);
  EXPECT_FALSE(scan.overflowed);
  EXPECT_EQ(scanDecimal("COM 7", 3).value, 7);
  EXPECT_EQ(scanDecimal("-2147483648").value, INT32_MIN);
  scan = scanDecimal("2147483648");
  EXPECT_TRUE(scan.overflowed);
  EXPECT_EQ(scan.value, INT32_MAX);
  scan = scanDecimal("-99999999999999999999999");
  EXPECT_TRUE(scan.overflowed);
  EXPECT_EQ(scan.value, INT32_MIN);
  for (const char* none : {"", " ", "+", "- 1", "x1", "COM"}) {
    EXPECT_FALSE(scanDecimal(none).found) << none;
  }
}

}  // namespace
}  // namespace tarnwick
