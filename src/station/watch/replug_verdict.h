#pragma once

#include <string>

#include "station/model/modem_record.h"

namespace tarnwick {

// Whether the version a modem gave after its re-plug shows that the flash
// took: with --expect-version (`expected` not empty) it must be that one;
// without, it must differ from the version before the flash.
bool flashTook(const std::string& versionBefore, const std::string& expected,
               const std::string& versionAfter);

// Whether the version a modem came back with shows, wherever it came back,
// that it is a unit this station flashed: only when it is the one
// --expect-version asks for. A version that merely differs from the one
// before proves nothing: a unit never flashed may be on another old one.
bool versionShowsAFlashedUnit(const std::string& expected, const std::string& versionAfter);

// The verdict of the check after the re-plug: UNVERIFIED when the modem did
// not answer, VERIFIED when the flash took, else MISMATCH.
Verification replugVerdict(bool answered, const std::string& versionBefore,
                           const std::string& expected, const std::string& versionAfter);

}  // namespace tarnwick
