#pragma once

#include <optional>
#include <string>

namespace tarnwick {

// Rules for Windows device instance ids ("USB\VID_2C7C&PID_0125\SN0001"),
// kept apart from the system calls so they are tested on any build.

// The instance name: the part after the last backslash ("SN0001"); the
// whole text when there is no backslash.
std::string instanceName(const std::string& instanceId);

// The USB serial number that Windows puts in the instance name of a device
// that has one. A name holding '&' ("6&2A3B4C5D&0&0002") is made up by
// Windows, not a serial: none. An empty name is none too.
std::optional<std::string> serialFromInstanceId(const std::string& instanceId);

// True when `a` and `b` are the same text once ASCII letters are lowered.
bool sameIgnoringCase(const std::string& a, const std::string& b);

// True when the instance name of `interfaceId` starts with `prefix` (the
// composite parent's ParentIdPrefix) followed by '&', letters compared
// without regard to case. An empty prefix matches nothing.
bool startsWithIdPrefix(const std::string& interfaceId, const std::string& prefix);

}  // namespace tarnwick
