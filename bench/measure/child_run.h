#pragma once

#include <string>
#include <vector>

namespace benchmeasure {

struct ChildRun {
  std::vector<std::string> argv;
  std::string stdoutPath;  // empty: inherited
  std::string stderrPath;  // empty: inherited
  int timeoutMs = 600000;
  int sampleMs = 5;  // how often the peak resident set is sampled
};

struct ChildUsage {
  double wallSeconds = 0;
  // CPU of the child and of every descendant that ended during the run
  // (its own children, and orphans handed to us as the subreaper).
  double userSeconds = 0;
  double systemSeconds = 0;
  long maxRssKib = 0;       // ru_maxrss of the child (its pid over every exec)
  long sampledHwmKib = -1;  // last VmHWM read from the child's current program
  int exitCode = -1;
  int termSignal = 0;
  bool timedOut = false;
};

// Runs `run.argv` in a process group of its own, stdin inherited, and
// waits for it within `run.timeoutMs` (then kills the group). The caller
// must have made itself a child subreaper beforehand.
bool runChild(const ChildRun& run, ChildUsage* usage, std::string* error);

}  // namespace benchmeasure
