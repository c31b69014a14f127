#pragma once

#include <string>

namespace tarnwick {

// The report of the calling thread's last operating-system error:
// "ERROR: <operation> failed with error code <code> as follows:\n<system text>\n",
// or "ERROR: <operation>\n" when the code is 0 (preceded by
// "FATAL ERROR: Unable to output error code.\n" when it cannot be formatted).
// Reads the last error first: call it right after the failed system call,
// before anything else can change the last error.
std::string systemErrorReport(const char* operation);

// The report, written to standard output.
void reportSystemError(const char* operation);

}  // namespace tarnwick
