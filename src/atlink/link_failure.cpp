#include "atlink/link_failure.h"

namespace tarnwick {
namespace {

std::string withCode(const char* what, const LinkFailure& failure) {
  std::string text = std::string(what) + " " + std::to_string(failure.errorCode);
  if (!failure.errorText.empty()) text += ": " + failure.errorText;
  return text;
}

}  // namespace

std::string describeFailure(const LinkFailure& failure) {
  switch (failure.kind) {
    case FailureKind::None:
      return "no failure";
    case FailureKind::OpenFailed:
      return withCode("port open failed with error", failure);
    case FailureKind::WriteFailed:
      return "write failure";
    case FailureKind::NoAnswer:
      return "no answer within the budget";
    case FailureKind::ErrorAnswer:
      return "ERROR answer";
    case FailureKind::ReadError:
      return withCode("read error", failure);
    case FailureKind::ReplyTooLong:
      return "reply too long without a final result";
    case FailureKind::BadPacketSize:
      return "no usable packet size in the answer";
    case FailureKind::ImageOpen:
      return withCode("image open failed with error", failure);
    case FailureKind::ImageTooLarge:
      return "image of 4 GiB or more";
    case FailureKind::ImageEmpty:
      return "empty image";
    case FailureKind::ImageRead:
      return "image read failed or ended early";
    case FailureKind::ImageChanged:
      return "image changed while it was sent";
  }
  return "unknown failure";
}

}  // namespace tarnwick
