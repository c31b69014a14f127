#pragma once

namespace tarnwick {

// The process exit status, so that scripts on the line can tell the outcome:
constexpr int kExitJobDone = 0;      // download finished, AT command answered OK, help shown
constexpr int kExitFailed = 1;       // any failure the tool printed a verdict or complaint for
constexpr int kExitNoArguments = -1;  // no argument at all: help shown

inline int exitCodeFor(bool jobDone) { return jobDone ? kExitJobDone : kExitFailed; }

}  // namespace tarnwick
