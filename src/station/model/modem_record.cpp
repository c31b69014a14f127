#include "station/model/modem_record.h"

namespace tarnwick {

const char* resultName(FlashResult result) {
  switch (result) {
    case FlashResult::Pass:
      return "PASS";
    case FlashResult::Fail:
      return "FAIL";
    case FlashResult::Aborted:
      return "ABORTED";
    case FlashResult::Skipped:
      return "SKIPPED";
    case FlashResult::Refused:
      return "REFUSED";
  }
  return "FAIL";
}

const char* verificationName(Verification verification) {
  switch (verification) {
    case Verification::Verified:
      return "VERIFIED";
    case Verification::Mismatch:
      return "MISMATCH";
    case Verification::Unverified:
      return "UNVERIFIED";
    case Verification::None:
      break;
  }
  return "";
}

}  // namespace tarnwick
