#include "diag/report_system_error.h"

#include <cstring>
#include <string>

#include "diag/console_print.h"
#include "diag/format_bounded.h"
#include "platform/last_error.h"
#include "platform/report_buffer.h"

namespace tarnwick {
namespace {

constexpr char kReportFormat[] = "%s failed with error code %d as follows:\n%s";

// Stands in for the system's text when the system has none for the code.
constexpr char kNoSystemText[] = "(no system message text for this error code)\n";

// Room for the report: both texts, the format's fixed words, a signed
// 32-bit code in decimal and the terminator.
std::size_t reportSize(const char* operation, const std::string& systemText) {
  constexpr std::size_t kCodeDigits = 11;
  return std::strlen(operation) + systemText.size() + sizeof(kReportFormat) + kCodeDigits + 1;
}

}  // namespace

std::string systemErrorReport(const char* operation) {
  int code = lastErrorCode();
  std::string systemText;
  if (!systemErrorText(code, systemText)) systemText = kNoSystemText;

  const std::string kFatal = "FATAL ERROR: Unable to output error code.\n";
  ReportBuffer report(reportSize(operation, systemText));
  if (report.data() == nullptr) return kFatal + "ERROR: " + operation + "\n";
  std::string text;
  if (code != 0) {
    if (formatBounded(report.data(), report.size(), kReportFormat, operation, code,
                      systemText.c_str()) < 0) {
      text = kFatal;
    }
  } else {
    formatBounded(report.data(), report.size(), "%s", operation);
  }
  return text + "ERROR: " + report.data() + "\n";
}

void reportSystemError(const char* operation) {
  consoleWrite(systemErrorReport(operation));
}

}  // namespace tarnwick
