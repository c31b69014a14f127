#pragma once

#include <cstdio>
#include <cstdlib>

namespace tarnwick::fuzzing {

// Where broken invariants are reported: the process's standard error as it
// was when the target started, even if a target points `stderr` elsewhere.
inline std::FILE*& reportStream() {
  static std::FILE* stream = stderr;
  return stream;
}

// The tool prints its progress and reports on standard output; a fuzz run
// throws them away, both for speed and to keep libFuzzer's own lines legible.
inline void discardStandardOutput() {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
}

}  // namespace tarnwick::fuzzing

// A broken invariant in a fuzz target: says which one and aborts, which
// libFuzzer reports as a crash and saves the input for.
#define FUZZ_CHECK(condition, ...)                                                               \
  do {                                                                                           \
    if (!(condition)) {                                                                          \
      std::FILE* report = ::tarnwick::fuzzing::reportStream();                                   \
      std::fprintf(report, "\n%s:%d: invariant failed: %s\n  ", __FILE__, __LINE__, #condition); \
      std::fprintf(report, __VA_ARGS__);                                                         \
      std::fprintf(report, "\n");                                                                \
      std::fflush(report);                                                                       \
      std::abort();                                                                              \
    }                                                                                            \
  } while (false)
