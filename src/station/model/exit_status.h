#pragma once

namespace tarnwick {

// The station's exit statuses, the same for every subcommand.
enum ExitStatus : int {
  kExitDone = 0,  // all asked for was done
  // A modem failed, was aborted or did not take the image; a count was
  // wrong; no modem was found to list; output or a record was lost.
  kExitFailed = 1,
  // The command line or one of its files cannot be used, or no modem was
  // found to flash.
  kExitBadInvocation = 2,
};

}  // namespace tarnwick
