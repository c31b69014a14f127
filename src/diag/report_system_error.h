#pragma once

namespace tarnwick {

// Prints the calling thread's last operating-system error on standard output:
// "ERROR: <operation> failed with error code <code> as follows:\n<system text>\n",
// or "ERROR: <operation>\n" when the code is 0. Must be called right after
// the failed system call, before anything else can change the last error.
void reportSystemError(const char* operation);

}  // namespace tarnwick
