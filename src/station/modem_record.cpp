#include "station/modem_record.h"

namespace tarnwick {

const char* resultName(FlashResult result) {
  switch (result) {
    case FlashResult::Pass:
      return "PASS";
    case FlashResult::Fail:
      return "FAIL";
    case FlashResult::Aborted:
      return "ABORTED";
  }
  return "FAIL";
}

}  // namespace tarnwick
