#include "station/watch/replug_verdict.h"

namespace tarnwick {

bool flashTook(const std::string& versionBefore, const std::string& expected,
               const std::string& versionAfter) {
  return expected.empty() ? versionAfter != versionBefore : versionAfter == expected;
}

bool versionShowsAFlashedUnit(const std::string& expected, const std::string& versionAfter) {
  return !expected.empty() && versionAfter == expected;
}

Verification replugVerdict(bool answered, const std::string& versionBefore,
                           const std::string& expected, const std::string& versionAfter) {
  if (!answered) return Verification::Unverified;
  return flashTook(versionBefore, expected, versionAfter) ? Verification::Verified
                                                          : Verification::Mismatch;
}

}  // namespace tarnwick
