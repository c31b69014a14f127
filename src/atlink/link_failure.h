#pragma once

#include <string>

namespace tarnwick {

// Why the latest transaction, handshake or download of a link failed.
enum class FailureKind {
  None,
  OpenFailed,     // the port could not be opened (errorCode and errorText say why)
  WriteFailed,    // the command could not be written within the bound
  NoAnswer,       // no final result within the reply budget
  ErrorAnswer,    // the modem answered ERROR
  ReadError,      // the port reported a read error (errorCode and errorText)
  ReplyTooLong,   // the reply passed the cap without a final result
  BadPacketSize,  // the packet size answer held no usable size
  ImageOpen,      // the image could not be opened (errorCode and errorText)
  ImageTooLarge,  // 4 GiB or more
  ImageEmpty,     // 0 bytes
  ImageRead,      // the image could not be read, or ended early
  ImageChanged,   // the image changed while it was sent
};

struct LinkFailure {
  FailureKind kind = FailureKind::None;
  int errorCode = 0;
  std::string errorText;
};

// A short account for a person: "ERROR answer", "no answer within the
// budget", "read error 5: Input/output error", ...
std::string describeFailure(const LinkFailure& failure);

}  // namespace tarnwick
